#include "platform/gtk/GtkPlatform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string_view>

#include "platform/gtk/EmbeddedResources.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/PngDecoder.h"

// The platform object: its making and end, the screen, quit requests and the
// modal loops they end, the executable's path.

namespace ui::gtk {

GtkPlatform& Backend() { return static_cast<GtkPlatform&>(GetPlatform()); }

namespace {

std::string RunningExecutable() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string InstalledPath(std::string link) {
  // The kernel names a file that was replaced or removed "<path> (deleted)";
  // the installed file, if any, is at <path>.
  constexpr std::string_view kDeleted = " (deleted)";
  struct stat info {};
  if (link.size() > kDeleted.size() && link.ends_with(kDeleted) && lstat(link.c_str(), &info) != 0) {
    link.resize(link.size() - kDeleted.size());
  }
  return link;
}

// Read as the process starts, before anything can replace the file.
GtkPlatform::GtkPlatform(std::vector<std::string> args)
    : m_args(std::move(args)), m_modulePath(InstalledPath(RunningExecutable())) {
  // The first windows usually show a picture: decoding them meanwhile on
  // another thread takes that off the way to the first window.
  std::vector<PngDecodedAhead::Source> pictures;
  for (unsigned long i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& resource = kEmbeddedResources[i];
    if (resource.type == static_cast<int>(ResourceType::Png)) pictures.push_back({resource.data, resource.size});
  }
  m_pngAhead = std::make_unique<PngDecodedAhead>(std::move(pictures));
}

GtkPlatform::~GtkPlatform() {
  if (m_startUpIdle) g_source_remove(m_startUpIdle);
  if (m_startUpTimer) g_source_remove(m_startUpTimer);
  if (m_trimTimer) g_source_remove(m_trimTimer);
  DropWebProcessKeeper();
  if (m_webContext) g_object_unref(m_webContext);
  if (m_websiteData) g_object_unref(m_websiteData);
}

std::unique_ptr<WindowPeer> GtkPlatform::CreateWindowPeer(Window& window) {
  return std::make_unique<GtkWindowPeer>(window);
}

namespace {

// The primary monitor in the desktop's logical pixels, the units windows
// move in (GDK scales them to device pixels itself).
GdkRectangle PrimaryMonitorArea() {
  GdkRectangle area{0, 0, 0, 0};
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return area;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) gdk_monitor_get_geometry(monitor, &area);
  return area;
}

}  // namespace

Size GtkPlatform::ScreenSize() const {
  const GdkRectangle area = PrimaryMonitorArea();
  return {area.width, area.height};
}

Point ScreenOrigin() {
  // Windows puts the primary monitor's corner at (0, 0); so do the system's
  // coordinates here, whatever the monitor layout.
  const GdkRectangle area = PrimaryMonitorArea();
  return {area.x, area.y};
}

void GtkPlatform::PostQuit(int exitCode) {
  // Like a posted quit message: every running modal loop ends, and so does
  // any loop started later.
  m_quitPosted = true;
  m_exitCode = exitCode;
  for (GMainLoop* loop : m_modalLoops) g_main_loop_quit(loop);
}

void GtkPlatform::PushModalLoop(GMainLoop* loop) { m_modalLoops.push_back(loop); }

void GtkPlatform::PopModalLoop(GMainLoop* loop) {
  m_modalLoops.erase(std::remove(m_modalLoops.begin(), m_modalLoops.end(), loop), m_modalLoops.end());
}

// Where the file was installed when the process started: an upgrade that
// replaces or renames the running file leaves the path the same.
std::string GtkPlatform::ModulePath() const { return m_modulePath; }

}  // namespace ui::gtk
