#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/VersionBlock.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <malloc.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <ctime>

#include "platform/gtk/CairoCanvas.h"
#include "platform/gtk/DataProfile.h"
#include "platform/gtk/SoupHttp.h"
#include "platform/gtk/EmbeddedResources.h"
#include "platform/gtk/ExternalBridge.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/PngDecoder.h"
#include "platform/gtk/WebProcessGuard.h"
#include "ui/CommandLine.h"

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

std::optional<std::vector<std::uint8_t>> GtkPlatform::FindResource(ResourceType type, int id) const {
  const EmbeddedResource* resource = FindEmbeddedResource(static_cast<int>(type), id);
  if (!resource) return std::nullopt;
  return std::vector<std::uint8_t>(resource->data, resource->data + resource->size);
}

namespace {

struct PixbufLoaderGuard {
  GdkPixbufLoader* loader;
  ~PixbufLoaderGuard() {
    gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
  }
};

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Bitmap resources are stored the Windows way, without the file header the
// decoder expects; rebuild it.
std::vector<std::uint8_t> WithBitmapFileHeader(const std::vector<std::uint8_t>& dib) {
  if (dib.size() >= 2 && dib[0] == 'B' && dib[1] == 'M') return dib;
  if (dib.size() < 40) return dib;
  const std::uint32_t headerSize = ReadLe32(dib.data());
  const unsigned bitCount = dib[14] | (dib[15] << 8);
  const std::uint32_t compression = ReadLe32(dib.data() + 16);
  std::uint32_t colors = headerSize >= 36 ? ReadLe32(dib.data() + 32) : 0;
  if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
  std::uint32_t masks = (headerSize == 40 && compression == 3) ? 12 : 0;
  const std::uint32_t offset = 14 + headerSize + masks + colors * 4;
  std::vector<std::uint8_t> file(14);
  file[0] = 'B';
  file[1] = 'M';
  PutLe32(file.data() + 2, static_cast<std::uint32_t>(14 + dib.size()));
  PutLe32(file.data() + 10, offset);
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

}  // namespace

GdkPixbuf* PixbufFromBytes(const std::vector<std::uint8_t>& bytes, const char* type) {
  if (bytes.empty()) return nullptr;
  const bool bitmap = type && std::strcmp(type, "bmp") == 0;
  const std::vector<std::uint8_t> data = bitmap ? WithBitmapFileHeader(bytes) : bytes;
  GError* error = nullptr;
  GdkPixbufLoader* loader = type ? gdk_pixbuf_loader_new_with_type(type, &error) : gdk_pixbuf_loader_new();
  if (!loader) {
    g_clear_error(&error);
    return nullptr;
  }
  PixbufLoaderGuard guard{loader};
  if (!gdk_pixbuf_loader_write(loader, data.data(), data.size(), &error) ||
      !gdk_pixbuf_loader_close(loader, &error)) {
    g_clear_error(&error);
    return nullptr;
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  return pixbuf ? GDK_PIXBUF(g_object_ref(pixbuf)) : nullptr;
}

PixelImage PixbufToBgra(GdkPixbuf* pixbuf) {
  PixelImage image;
  image.width = gdk_pixbuf_get_width(pixbuf);
  image.height = gdk_pixbuf_get_height(pixbuf);
  image.bitsPerPixel = 32;
  image.pitch = image.width * 4;
  image.pixels.resize(static_cast<std::size_t>(image.pitch) * image.height);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    const guchar* in = src + static_cast<std::ptrdiff_t>(y) * stride;
    std::uint8_t* out = image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.pitch;
    for (int x = 0; x < image.width; ++x, in += channels, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = alpha ? in[3] : 255;
    }
  }
  return image;
}

std::optional<PixelImage> GtkPlatform::DecodePng(const std::vector<std::uint8_t>& bytes) const {
  if (m_pngAhead) {
    if (auto ahead = m_pngAhead->Take(bytes.data(), bytes.size())) return std::move(*ahead);
  }
  return DecodePngBgra(bytes.data(), bytes.size());
}

std::unique_ptr<Picture> GtkPlatform::LoadPicture(ResourceType type, int id) {
  GdkPixbuf* pixbuf = nullptr;
  if (auto bytes = FindResource(type, id)) {
    pixbuf = PixbufFromBytes(*bytes, type == ResourceType::Bitmap ? "bmp" : type == ResourceType::Png ? "png" : nullptr);
  }
  auto picture = std::make_unique<CairoPicture>(pixbuf);
  if (pixbuf) g_object_unref(pixbuf);
  return picture;
}

// Where the file was installed when the process started: an upgrade that
// replaces or renames the running file leaves the path the same.
std::string GtkPlatform::ModulePath() const { return m_modulePath; }

std::string JoinCommandLine(const std::vector<std::string>& args) {
  // The shell has already removed the quotes a Windows program would still
  // see; put them back around everything that is not a switch.
  std::string text;
  for (const std::string& arg : args) {
    if (!text.empty()) text += ' ';
    if (!arg.empty() && arg[0] == '-') {
      text += arg;
    } else {
      text += '"';
      text += arg;
      text += '"';
    }
  }
  return text;
}

std::string GtkPlatform::CommandLineArgs() const { return JoinCommandLine(m_args); }

bool GtkPlatform::StartProcess(const std::string& path, const std::string& arguments) {
  if (path.empty()) return false;
  // The program gets the arguments a Windows program would split from the
  // same command line.
  std::vector<std::string> argv{path};
  for (std::string& argument : SplitCommandLine(arguments)) argv.push_back(std::move(argument));
  GError* error = nullptr;
  std::vector<gchar*> raw;
  for (std::string& arg : argv) raw.push_back(arg.data());
  raw.push_back(nullptr);
  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib reaps the child itself; the caller
  // never waits for it.
  const gboolean ok = g_spawn_async(nullptr, raw.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  g_clear_error(&error);
  return ok;
}

bool GtkPlatform::AppendToExistingFile(const std::string& path, const std::string& bytes) {
  // Only an existing regular file: opening a FIFO for writing would wait for
  // a reader on the GUI thread, so the open never blocks and anything else
  // found under the name is left alone.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

std::string GtkPlatform::HttpGet(const std::string& url, bool readBody, const std::string& userAgent) {
  return SoupHttpGet(url, readBody, userAgent);
}

void GtkPlatform::OpenInSystemBrowser(const std::string& target) {
  if (target.empty()) return;
  std::string uri = target;
  if (target[0] == '/') {
    gchar* fileUri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    if (!fileUri) return;
    uri = fileUri;
    g_free(fileUri);
  }
  GError* error = nullptr;
  g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  g_clear_error(&error);  // failures are silent, as the shell's are
}

std::optional<std::vector<HardwareAddress>> GtkPlatform::AdapterAddresses() const {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<HardwareAddress> addresses;
  std::vector<std::string> seen;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if (entry->ifa_flags & IFF_LOOPBACK) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    if (std::find(seen.begin(), seen.end(), entry->ifa_name) != seen.end()) continue;
    seen.emplace_back(entry->ifa_name);
    HardwareAddress address;
    std::copy(link->sll_addr, link->sll_addr + 6, address.begin());
    addresses.push_back(address);
  }
  freeifaddrs(list);
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

namespace {
// How long a copy waits for the profile of a copy that is ending: a restart
// starts the fresh copy just before the old one ends.
constexpr auto kProfileWait = std::chrono::seconds(3);
}  // namespace

WebKitWebsiteDataManager* GtkPlatform::WebsiteData() {
  if (!m_websiteData) {
    // Our own directories, so that cleaning the cache never touches another
    // program's data; one copy of the client at a time in each.
    m_profile = TakeDataProfile(g_get_user_data_dir(), g_get_user_cache_dir(), "kqvclient", kProfileWait);
    const char* data = m_profile.data.c_str();
    const char* cache = m_profile.cache.c_str();
    m_websiteData = webkit_website_data_manager_new("base-data-directory", data, "base-cache-directory", cache, nullptr);
    g_mkdir_with_parents(data, 0700);
    gchar* cookies = g_build_filename(data, "cookies.sqlite", nullptr);
    WebKitCookieManager* cookieManager = webkit_website_data_manager_get_cookie_manager(m_websiteData);
    webkit_cookie_manager_set_persistent_storage(cookieManager, cookies, WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    // Logins hop between the platform's and the game's hosts inside frames.
    webkit_cookie_manager_set_accept_policy(cookieManager, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
    g_free(cookies);
  }
  return m_websiteData;
}

WebKitWebContext* GtkPlatform::WebContext() {
  if (!m_webContext) {
    // The memory bound is fixed when the context is made.
    WebKitMemoryPressureSettings* memory = NewWebProcessMemorySettings();
    m_webContext = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", WebsiteData(),
                                                   "memory-pressure-settings", memory, nullptr));
    webkit_memory_pressure_settings_free(memory);
    webkit_web_context_set_cache_model(m_webContext, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    // Page scripts call window.external through a web-process extension.
    external_bridge::Attach(m_webContext);
  }
  return m_webContext;
}

namespace {
// How long a shown main window may take to be drawn before waiting work
// runs anyway (a window that is never drawn must not stop the engine).
constexpr guint kFirstDrawWaitMs = 3000;
// How long after the engine's start the heap is trimmed.
constexpr guint kTrimDelayMs = 1000;
}  // namespace

int GtkPlatform::AfterStartUp(std::function<void()> work) {
  m_startUpWork.emplace_back(++m_lastStartUpToken, std::move(work));
  ScheduleStartUpWork();
  return m_lastStartUpToken;
}

void GtkPlatform::CancelAfterStartUp(int token) {
  std::erase_if(m_startUpWork, [token](const auto& entry) { return entry.first == token; });
}

void GtkPlatform::NoteMainWindowShown() {
  if (m_startUp == StartUp::NothingShown) m_startUp = StartUp::AwaitingFirstDraw;
}

void GtkPlatform::NoteMainWindowDrawn() {
  if (m_startUp == StartUp::Drawn) return;
  m_startUp = StartUp::Drawn;
  if (m_startUpTimer) g_source_remove(m_startUpTimer);
  m_startUpTimer = 0;
  ScheduleStartUpWork();
}

void GtkPlatform::ScheduleStartUpWork() {
  if (m_startUpWork.empty()) return;
  if (m_startUp == StartUp::AwaitingFirstDraw) {
    if (!m_startUpTimer) {
      m_startUpTimer = g_timeout_add(
          kFirstDrawWaitMs,
          [](gpointer self) {
            auto* platform = static_cast<GtkPlatform*>(self);
            platform->m_startUpTimer = 0;
            platform->NoteMainWindowDrawn();
            return G_SOURCE_REMOVE;
          },
          this);
    }
    return;
  }
  // Low priority: the frame just drawn, and any other window's, reach the
  // screen first.
  if (!m_startUpIdle) m_startUpIdle = g_idle_add_full(G_PRIORITY_LOW, RunStartUpWork, this, nullptr);
}

gboolean GtkPlatform::RunStartUpWork(gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  platform->m_startUpIdle = 0;
  if (platform->m_startUp == StartUp::AwaitingFirstDraw) {
    platform->ScheduleStartUpWork();
    return G_SOURCE_REMOVE;
  }
  // One at a time: a piece of work may cancel or add others.
  while (!platform->m_startUpWork.empty()) {
    auto work = std::move(platform->m_startUpWork.front().second);
    platform->m_startUpWork.erase(platform->m_startUpWork.begin());
    work();
  }
  // Pictures decoded ahead that nobody asked for are not kept.
  if (platform->m_pngAhead) platform->m_pngAhead->Forget();
  // What start-up allocated and let go of (the picture's decoding, the
  // theme's parsing) goes back to the system rather than waiting in the
  // heap; a moment later, off the path to the first page.
  if (!platform->m_trimTimer) {
    platform->m_trimTimer = g_timeout_add_full(
        G_PRIORITY_LOW, kTrimDelayMs,
        [](gpointer self) {
          static_cast<GtkPlatform*>(self)->m_trimTimer = 0;
          malloc_trim(0);
          return G_SOURCE_REMOVE;
        },
        platform, nullptr);
  }
  return G_SOURCE_REMOVE;
}

namespace {
struct ClearWait {
  GMainLoop* loop;
  bool done = false;
  bool abandoned = false;
  guint bound = 0;  // the bound's timer while it has not run
};
}  // namespace

std::unique_ptr<VersionData> GtkPlatform::ReadVersionData(const std::string& path) const {
  // From the file, as Windows reads it: a copy changed on disk answers anew.
  auto block = ReadElfSection(path, kVersionSection);
  if (!block || block->empty()) return nullptr;
  return std::make_unique<VersionBlock>(std::move(*block));
}

namespace {
void HoldCloses(GdkEvent* event, gpointer) {
  if (event->type == GDK_DELETE && event->any.window) {
    gpointer widget = nullptr;
    gdk_window_get_user_data(event->any.window, &widget);
    if (GtkWindowPeer* peer = GtkWindowPeer::OfWidget(static_cast<GtkWidget*>(widget))) {
      peer->HoldClose();
      return;
    }
  }
  gtk_main_do_event(event);
}
}  // namespace

bool GtkPlatform::CleanBrowserCache() {
  // The HTTP caches, and the cache storage and service workers a game may
  // keep its files in. Cookies, local storage and IndexedDB stay: the
  // player remains logged in and keeps the settings pages store there.
  auto* wait = new ClearWait{g_main_loop_new(nullptr, FALSE)};
  webkit_website_data_manager_clear(
      WebsiteData(),
      static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE |
                                          WEBKIT_WEBSITE_DATA_DOM_CACHE |
                                          WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS),
      0, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* w = static_cast<ClearWait*>(data);
        webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
        if (w->abandoned) {
          g_main_loop_unref(w->loop);
          delete w;
          return;
        }
        w->done = true;
        g_main_loop_quit(w->loop);
      },
      wait);
  // The caller reports the cache gone when this returns, but the data manager
  // finishes asynchronously: wait for it with the windows still served, and
  // with a bound in case the network process never answers.
  wait->bound = g_timeout_add(
      static_cast<guint>(m_cleaningBound.count()),
      [](gpointer data) {
        auto* w = static_cast<ClearWait*>(data);
        w->bound = 0;
        g_main_loop_quit(w->loop);
        return G_SOURCE_REMOVE;
      },
      wait);
  // The windows keep drawing but take no input meanwhile, as a window busy
  // in its handler would: a grab on a widget nobody sees swallows it.
  GtkWidget* blocker = gtk_invisible_new();
  gtk_widget_show(blocker);
  gtk_grab_add(blocker);
  // The grab would drop a window manager's close; it is held instead, and
  // handled once cleaning (its box included) is done.
  m_holdingCloses = true;
  gdk_event_handler_set(HoldCloses, nullptr, nullptr);
  g_main_loop_run(wait->loop);
  gdk_event_handler_set(reinterpret_cast<GdkEventFunc>(gtk_main_do_event), nullptr, nullptr);
  m_holdingCloses = false;
  gtk_grab_remove(blocker);
  gtk_widget_destroy(blocker);
  // The bound and the answer can both come before the loop returns (a
  // handler running a loop of its own meanwhile): its timer is gone then.
  if (wait->bound) g_source_remove(wait->bound);
  wait->bound = 0;
  if (wait->done) {
    g_main_loop_unref(wait->loop);
    delete wait;
  } else {
    wait->abandoned = true;  // the late answer frees it
  }
  return true;
}

SystemTime GtkPlatform::UtcNow() const {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  SystemTime time;
  time.year = utc.tm_year + 1900;
  time.month = utc.tm_mon + 1;
  time.dayOfWeek = utc.tm_wday;
  time.day = utc.tm_mday;
  time.hour = utc.tm_hour;
  time.minute = utc.tm_min;
  time.second = utc.tm_sec;
  time.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
  return time;
}

}  // namespace ui::gtk
