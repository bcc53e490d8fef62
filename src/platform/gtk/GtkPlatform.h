#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/DataProfile.h"
#include "ui/Platform.h"

namespace ui::gtk {

class PngDecodedAhead;

// The Linux platform: GTK 3 windows, WebKitGTK pages, gdk-pixbuf pictures.
// Lives for the whole run; the GTK main context is the GUI thread.
//
// One mechanism a file: GtkPlatform.cpp (the object, screen, quit and modal
// loops), Services, Images, StartUp and BrowserData (GtkPlatform<name>.cpp).
class GtkPlatform : public Platform {
 public:
  // args: argv[1..] as the process received them.
  explicit GtkPlatform(std::vector<std::string> args);
  ~GtkPlatform() override;

  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) override;
  Size ScreenSize() const override;
  Size SmallIconSize() const override { return {16, 16}; }
  Size IconSize() const override { return {32, 32}; }
  void PostQuit(int exitCode) override;

  std::optional<std::vector<std::uint8_t>> FindResource(ResourceType type, int id) const override;
  std::optional<PixelImage> DecodePng(const std::vector<std::uint8_t>& bytes) const override;
  std::unique_ptr<Picture> LoadPicture(ResourceType type, int id) override;
  std::unique_ptr<VersionData> ReadVersionData(const std::string& path) const override;

  std::string ModulePath() const override;
  char PathSeparator() const override { return '/'; }
  std::string CommandLineArgs() const override;
  std::string ExecutableSuffix() const override { return {}; }
  bool StartProcess(const std::string& path, const std::string& arguments) override;
  bool AppendToExistingFile(const std::string& path, const std::string& bytes) override;

  std::string HttpGet(const std::string& url, bool readBody, const std::string& userAgent) override;
  void OpenInSystemBrowser(const std::string& target) override;
  std::optional<std::vector<HardwareAddress>> AdapterAddresses() const override;
  // The engine keeps its own cache, cleared as a whole.
  UrlCache* BrowserUrlCache() override { return nullptr; }
  bool CleanBrowserCache() override;
  // How long cleaning waits for the engine's answer (tests shorten it).
  void SetCacheCleaningBound(std::chrono::milliseconds bound) { m_cleaningBound = bound; }
  // While cleaning runs, windows take no close: it is held for each window
  // and handled once cleaning is done.
  bool HoldingCloses() const { return m_holdingCloses; }
  // Linux has no restart service for programs.
  void RegisterForRestart() override {}

  SystemTime UtcNow() const override;

  // Modal loops (dialogs and message boxes) register while they run, so that a
  // quit request ends all of them, as a posted quit message does on Windows.
  void PushModalLoop(GMainLoop* loop);
  void PopModalLoop(GMainLoop* loop);
  bool QuitPosted() const { return m_quitPosted; }
  int ExitCode() const { return m_exitCode; }

  // The one browser context of the process, with the client's own data and
  // cache directories; created on first use.
  WebKitWebContext* WebContext();
  WebKitWebsiteDataManager* WebsiteData();

  // The hand-off from one browser to the next (the launcher's login page to
  // the game window's) would otherwise wait for a fresh web process. A
  // browser that goes with a page shown leaves a hidden blank view in its
  // web process, which keeps the process running; the next browser's view
  // is made related to it, so it loads in that process, and lets it go once
  // its first page has come. Unclaimed, it goes after a few seconds.
  void KeepWebProcess(WebKitWebView* going);
  bool HasWebProcessKeeper() const { return m_keeper && !m_keeperTaken; }
  // The view to make the next one related to, taken once; null when there is none.
  WebKitWebView* TakeWebProcessKeeper();
  void DropWebProcessKeeper();

  // Work that holds the GUI thread for a while (starting the browser
  // engine) waits while a main window (one without an owner) has been shown
  // but not drawn yet, so that it never keeps the first window off the
  // screen; otherwise it runs once the thread is idle. Answers a token for
  // CancelAfterStartUp.
  int AfterStartUp(std::function<void()> work);
  void CancelAfterStartUp(int token);
  void NoteMainWindowShown();
  void NoteMainWindowDrawn();
  bool MainWindowDrawn() const { return m_startUp == StartUp::Drawn; }

 private:
  enum class StartUp { NothingShown, AwaitingFirstDraw, Drawn };
  void ScheduleStartUpWork();
  static gboolean RunStartUpWork(gpointer self);

  std::vector<std::string> m_args;
  std::string m_modulePath;
  std::vector<GMainLoop*> m_modalLoops;
  bool m_quitPosted = false;
  int m_exitCode = 0;
  DataProfile m_profile;  // its lock is let go only as the process ends
  WebKitWebsiteDataManager* m_websiteData = nullptr;
  WebKitWebContext* m_webContext = nullptr;
  WebKitWebView* m_keeper = nullptr;  // a blank page keeping the web process for the next browser
  bool m_keeperTaken = false;
  guint m_keeperTimer = 0;
  StartUp m_startUp = StartUp::NothingShown;
  std::unique_ptr<PngDecodedAhead> m_pngAhead;  // the PNG resources, during start-up
  std::vector<std::pair<int, std::function<void()>>> m_startUpWork;
  int m_lastStartUpToken = 0;
  guint m_startUpIdle = 0;
  guint m_startUpTimer = 0;
  guint m_trimTimer = 0;
  std::chrono::milliseconds m_cleaningBound{15000};
  bool m_holdingCloses = false;
};

// The installed platform, for the backend's own classes.
GtkPlatform& Backend();

// Where the system's screen coordinates start on the desktop: the primary
// monitor's top-left corner. System point = desktop point - ScreenOrigin().
Point ScreenOrigin();

// The path of the running executable's file as installed, from the link
// /proc/self/exe gives: without the " (deleted)" the kernel adds once the file
// has been replaced or removed.
std::string InstalledPath(std::string link);

// The text after the executable's name as a Windows program would receive it.
std::string JoinCommandLine(const std::vector<std::string>& args);

// A decoded pixbuf as blue, green, red, straight alpha, 32 bits per pixel,
// rows top-down.
PixelImage PixbufToBgra(GdkPixbuf* pixbuf);

// Bytes of an encoded picture (PNG, BMP with or without its file header, ICO)
// as a pixbuf; null when undecodable. mimeType empty: any known format.
GdkPixbuf* PixbufFromBytes(const std::vector<std::uint8_t>& bytes, const char* type);

}  // namespace ui::gtk
