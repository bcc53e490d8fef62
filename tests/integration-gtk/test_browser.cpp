// The WebKitGTK browser's events and host choices against a loopback server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include "GtkTestSupport.h"
#include "LoopbackServer.h"
#include "gamewnd/CDocHostUIHandlerImpl.h"
#include "ui/Browser.h"
#include "ui/Platform.h"
#include "ui/Window.h"

namespace kqvtest {
namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;

struct Event {
  std::string kind;  // before, navigated, complete
  std::string url;
  friend bool operator==(const Event&, const Event&) = default;
};

void PrintTo(const Event& event, std::ostream* out) { *out << event.kind << " " << event.url; }

class Recorder : public ui::BrowserEvents {
 public:
  void OnBeforeNavigate2(const std::string& url, bool& cancel) override {
    events.push_back({"before", url});
    if (cancelIf && cancelIf(url)) cancel = true;
  }
  void OnNavigateComplete2(const std::string& url) override { events.push_back({"navigated", url}); }
  void OnDocumentComplete(const std::string& url) override { events.push_back({"complete", url}); }

  std::vector<std::string> Urls(const std::string& kind) const {
    std::vector<std::string> urls;
    for (const Event& event : events) {
      if (event.kind == kind) urls.push_back(event.url);
    }
    return urls;
  }
  bool Saw(const std::string& kind, const std::string& url) const {
    return std::find(events.begin(), events.end(), Event{kind, url}) != events.end();
  }

  std::vector<Event> events;
  std::function<bool(const std::string&)> cancelIf;
};

class HostWindow : public ui::Dialog {
 public:
  HostWindow() : ui::Dialog(134) {}
};

std::string Page(const std::string& body) { return "<!DOCTYPE html><html><body>" + body + "</body></html>"; }

class BrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Create(nullptr));
    browser = host.Peer().CreateBrowser(1001, {0, 0, 400, 300}, recorder);
    ASSERT_TRUE(browser);
  }
  void TearDown() override {
    browser.reset();
    host.DestroyWindow();
  }

  // Navigates and waits for the top document's completion.
  bool Load(const std::string& url, const std::string& completes) {
    browser->Navigate(url);
    return PumpUntil([&] { return recorder.Saw("complete", completes); });
  }
  bool Load(const std::string& url) { return Load(url, url); }

  LoopbackServer server;
  Recorder recorder;
  HostWindow host;
  std::unique_ptr<ui::Browser> browser;
};

TEST_F(BrowserTest, IdleBeforeItsFirstPageAndCompleteAfterABlankOne) {
  EXPECT_EQ(browser->ReadyState(), 4);
  EXPECT_FALSE(browser->HasDocument());
  EXPECT_FALSE(browser->InstallHostChoices({}));

  ASSERT_TRUE(Load("about:blank"));
  EXPECT_TRUE(browser->HasDocument());
  EXPECT_EQ(browser->ReadyState(), 4);
  EXPECT_TRUE(recorder.Saw("navigated", "about:blank"));
}

TEST_F(BrowserTest, EveryFrameIsOfferedAndCompletesThePageLast) {
  server.Route("/page.html", {.body = Page("<iframe src='/frame.html'></iframe><iframe src='/frame2.html'></iframe>")});
  server.Route("/frame.html", {.body = Page("one")});
  server.Route("/frame2.html", {.body = Page("two")});
  const std::string page = server.Url("/page.html");
  ASSERT_TRUE(Load(page));
  PumpFor(std::chrono::milliseconds(200));  // nothing more may come

  EXPECT_THAT(recorder.Urls("before"), UnorderedElementsAre(page, server.Url("/frame.html"), server.Url("/frame2.html")));
  EXPECT_THAT(recorder.Urls("navigated"), ElementsAre(page));
  EXPECT_THAT(recorder.Urls("complete"),
              UnorderedElementsAre(page, server.Url("/frame.html"), server.Url("/frame2.html")));
  EXPECT_EQ(recorder.events.back(), (Event{"complete", page}));
  EXPECT_EQ(browser->ReadyState(), 4);
}

TEST_F(BrowserTest, RedirectTargetIsOfferedBeforeItIsRequested) {
  server.Route("/go", {.status = 302, .body = "", .location = "/target.html"});
  server.Route("/target.html", {.body = Page("target")});
  ASSERT_TRUE(Load(server.Url("/go"), server.Url("/target.html")));

  EXPECT_THAT(recorder.Urls("before"), ElementsAre(server.Url("/go"), server.Url("/target.html")));
  EXPECT_THAT(recorder.Urls("navigated"), ElementsAre(server.Url("/target.html")));
}

// Cancelling in BeforeNavigate2 keeps the request from being sent, whether
// the page, a frame or a redirect target is cancelled.
TEST_F(BrowserTest, CancelPreventsTheRequest) {
  struct Case {
    const char* name;
    std::string start;     // navigated to
    std::string blocked;   // cancelled, never requested
    std::string completes; // the top document that still completes, or empty
  };
  server.Route("/with-frame.html", {.body = Page("<iframe src='/blocked-frame.html'></iframe>")});
  server.Route("/blocked-frame.html", {.body = Page("frame")});
  server.Route("/blocked-page.html", {.body = Page("page")});
  server.Route("/to-blocked", {.status = 302, .body = "", .location = "/blocked-target.html"});
  server.Route("/blocked-target.html", {.body = Page("target")});
  server.Route("/after.html", {.body = Page("after")});
  const Case cases[] = {
      {"page", "/blocked-page.html", "/blocked-page.html", ""},
      {"frame", "/with-frame.html", "/blocked-frame.html", "/with-frame.html"},
      {"redirect target", "/to-blocked", "/blocked-target.html", ""},
  };
  recorder.cancelIf = [](const std::string& url) { return url.find("/blocked") != std::string::npos; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder.events.clear();
    if (!c.completes.empty()) {
      ASSERT_TRUE(Load(server.Url(c.start), server.Url(c.completes)));
    } else {
      browser->Navigate(server.Url(c.start));
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", server.Url(c.blocked)); }));
      // The browser is still usable afterwards.
      ASSERT_TRUE(Load(server.Url("/after.html")));
    }
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(recorder.Saw("before", server.Url(c.blocked)));
    EXPECT_FALSE(server.WasRequested(c.blocked));
    EXPECT_FALSE(recorder.Saw("complete", server.Url(c.blocked)));
    EXPECT_FALSE(recorder.Saw("navigated", server.Url(c.blocked)));
  }
}

// A port that takes connections and never answers them.
class SilentPort {
 public:
  SilentPort() {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_socket, 8);
    socklen_t length = sizeof address;
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~SilentPort() { close(m_socket); }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

 private:
  int m_socket;
  int m_port = 0;
};

TEST_F(BrowserTest, StopEndsTheLoadingPage) {
  // A page whose picture never arrives keeps loading until stopped.
  SilentPort silent;
  server.Route("/slow-page.html", {.body = Page("<img src='" + silent.Url("/never.png") + "'>")});
  browser->Navigate(server.Url("/slow-page.html"));
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("navigated", server.Url("/slow-page.html")); }));
  EXPECT_NE(browser->ReadyState(), 4);
  browser->Stop();
  EXPECT_TRUE(PumpUntil([&] { return browser->ReadyState() == 4; }));
}

class HostChoicesTest : public BrowserTest {
 protected:
  // Installs the choices on a blank first document, as the launcher does.
  void Install(ui::HostChoices choices) {
    ASSERT_TRUE(Load("about:blank"));
    ASSERT_TRUE(browser->InstallHostChoices(choices));
  }
  std::vector<std::vector<std::string>> calls;
  ui::HostChoices Reporting(bool scrollBars) {
    ui::HostChoices choices;
    choices.scrollBars = scrollBars;
    choices.external["report"] = [this](const std::vector<std::string>& args) {
      calls.push_back(args);
      return std::string("ignored");
    };
    choices.externalConstants["getAppVersion"] = "1.0.0.1";
    return choices;
  }
};

TEST_F(HostChoicesTest, ExternalObjectInEveryFrameWithConstantsAnsweredAtOnce) {
  Install(Reporting(false));
  server.Route("/app.html", {.body = Page("<script>window.external.report(window.external.getAppVersion(), '版本',"
                                          " typeof window.external.missing);</script>"
                                          "<iframe src='/app-frame.html'></iframe>")});
  server.Route("/app-frame.html", {.body = Page("<script>window.external.report('frame');</script>")});
  ASSERT_TRUE(Load(server.Url("/app.html")));
  ASSERT_TRUE(PumpUntil([&] { return calls.size() >= 2; }));
  EXPECT_THAT(calls, UnorderedElementsAre(ElementsAre("1.0.0.1", "版本", "undefined"), ElementsAre("frame")));
}

TEST_F(HostChoicesTest, ScrollBarsFollowTheChoice) {
  struct Case {
    bool scrollBars;
    const char* overflow;
  };
  for (const Case c : {Case{false, "hidden"}, Case{true, "visible"}}) {
    SCOPED_TRACE(c.scrollBars);
    calls.clear();
    recorder.events.clear();
    Install(Reporting(c.scrollBars));
    const std::string path = std::string("/tall-") + (c.scrollBars ? "bars" : "none") + ".html";
    server.Route(path, {.body = Page("<div style='height:5000px;width:5000px'></div><script>"
                                     "addEventListener('load', function () { window.external.report("
                                     "getComputedStyle(document.documentElement).overflow); });</script>")});
    ASSERT_TRUE(Load(server.Url(path)));
    ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
    EXPECT_THAT(calls.back(), ElementsAre(c.overflow));
  }
}

TEST_F(HostChoicesTest, CleaningTheCacheRefetchesResourcesAndKeepsCookies) {
  Install(Reporting(false));
  server.Route("/cached.js", {.contentType = "application/javascript", .body = "window.fromCache = 1;",
                              .extraHeaders = "Cache-Control: max-age=3600\r\n"});
  server.Route("/cookie.html", {.body = Page("<script src='/cached.js'></script><script>"
                                             "document.cookie = 'kept=yes; max-age=3600; path=/';"
                                             "window.external.report(document.cookie);</script>"),
                                .extraHeaders = "Cache-Control: no-store\r\n"});
  const std::string url = server.Url("/cookie.html");
  ASSERT_TRUE(Load(url));
  ASSERT_EQ(server.Count("/cached.js"), 1);
  // The premise: a second visit takes the script from the cache.
  recorder.events.clear();
  ASSERT_TRUE(Load(url));
  ASSERT_EQ(server.Count("/cached.js"), 1);

  // A page still showing keeps its scripts in memory, as any browser does;
  // the player cleans the cache for the pages loaded next.
  ASSERT_TRUE(Load("about:blank"));
  ui::GetPlatform().CleanBrowserCache();
  recorder.events.clear();
  ASSERT_TRUE(Load(url));
  EXPECT_EQ(server.Count("/cached.js"), 2);
  EXPECT_THAT(server.LastHeaders("/cookie.html"), testing::HasSubstr("kept=yes"));
}


}  // namespace
}  // namespace kqvtest

namespace kqvtest {
namespace {


std::vector<std::string> OpenedPages() {
  gchar* text = nullptr;
  std::vector<std::string> lines;
  if (!g_file_get_contents(OpenedPagesFile().c_str(), &text, nullptr, nullptr)) return lines;
  gchar** split = g_strsplit(text, "\n", -1);
  for (gchar** line = split; *line; ++line) {
    if (**line) lines.emplace_back(*line);
  }
  g_strfreev(split);
  g_free(text);
  return lines;
}

// The launcher overlay's situation: a dialog whose page has the focus.
class PageWindow : public ui::Dialog {
 public:
  PageWindow() : ui::Dialog(130) {}
  bool PreTranslateMessage(const ui::Message& message) override {
    if (!dispatchReturnAndEscape || message.kind != ui::Message::Kind::KeyDown) return false;
    if (message.key != ui::kVkReturn && message.key != ui::kVkEscape) return false;
    return Peer().DispatchToTarget(message);
  }
  bool OnCommand(int id) override {
    commands.push_back(id);
    return true;
  }
  bool dispatchReturnAndEscape = false;
  std::vector<int> commands;
};

// A shown window with a browser in it, for tests with real input.
class ShownWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Create(nullptr));
    window.MoveWindow(ui::Rect::FromXYWH(100, 100, 500, 400));
    window.ShowWindow(ui::ShowCommand::Show);
    browser = window.Peer().CreateBrowser(1001, {50, 50, 450, 350}, recorder);
    ASSERT_TRUE(browser);
  }
  void TearDown() override {
    browser.reset();
    window.DestroyWindow();
  }

  LoopbackServer server;
  Recorder recorder;
  PageWindow window;
  std::unique_ptr<ui::Browser> browser;
};

class ShownBrowserTest : public ShownWindowTest {
 protected:
  void SetUp() override {
    ShownWindowTest::SetUp();
    if (HasFatalFailure()) return;
    browser->Navigate("about:blank");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", "about:blank"); }));
    ui::HostChoices choices;
    choices.external["report"] = [this](const std::vector<std::string>& args) {
      reports.push_back(args.empty() ? "" : args[0]);
      return std::string();
    };
    ASSERT_TRUE(browser->InstallHostChoices(choices));
  }
  bool Load(const std::string& path, const std::string& body) {
    server.Route(path, {.body = Page(body)});
    browser->Navigate(server.Url(path));
    return PumpUntil([&] { return recorder.Saw("complete", server.Url(path)); });
  }

  std::vector<std::string> reports;
};

// Return and Escape go to the page only when the window's filter sends them
// there; otherwise the dialog manager takes them. Other keys always reach it.
TEST_F(ShownBrowserTest, KeysReachThePageThroughTheFilterOrGoToTheDialogManager) {
  struct Case {
    bool dispatch;
    const char* key;
    std::vector<std::string> pageSaw;
    std::vector<int> commands;
  };
  const Case cases[] = {
      {true, "Return", {"Enter"}, {}},
      {true, "Escape", {"Escape"}, {}},
      {false, "Return", {}, {ui::kIdOk}},
      {false, "Escape", {}, {ui::kIdCancel}},
      {false, "b", {"b"}, {}},
  };
  ASSERT_TRUE(Load("/keys.html", "<input id='field' style='width:300px;height:200px'><script>"
                                 "document.getElementById('field').addEventListener('keydown',"
                                 " function (e) { window.external.report(e.key); });</script>"));
  Xdotool("mousemove 300 300 click 1");
  PumpFor(std::chrono::milliseconds(300));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + (c.dispatch ? " dispatched" : ""));
    window.dispatchReturnAndEscape = c.dispatch;
    reports.clear();
    window.commands.clear();
    Xdotool(std::string("key ") + c.key);
    if (!c.pageSaw.empty()) {
      ASSERT_TRUE(PumpUntil([&] { return !reports.empty(); }, std::chrono::seconds(3)));
    }
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(reports, c.pageSaw);
    EXPECT_EQ(window.commands, c.commands);
  }
}

TEST_F(ShownBrowserTest, NewWindowsAreOfferedAndOpenInTheSystemBrowser) {
  ASSERT_TRUE(Load("/links.html",
                   "<a href='/popup-blocked.html' target='_blank' style='display:block;height:100px'>blocked</a>"
                   "<a href='/popup.html' target='_blank' style='display:block;height:100px'>open</a>"));
  recorder.cancelIf = [](const std::string& url) { return url.find("blocked") != std::string::npos; };
  g_remove(OpenedPagesFile().c_str());
  // Page coordinates: each link is a 100-pixel band from the top.
  Xdotool("mousemove 200 210 click 1");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", server.Url("/popup-blocked.html")); }));
  Xdotool("mousemove 200 310 click 1");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", server.Url("/popup.html")); }));
  ASSERT_TRUE(PumpUntil([&] { return !OpenedPages().empty(); }));
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_THAT(OpenedPages(), ElementsAre(server.Url("/popup.html")));
  // Neither went to the embedded browser.
  EXPECT_FALSE(server.WasRequested("/popup.html"));
  EXPECT_FALSE(server.WasRequested("/popup-blocked.html"));
}


// The launcher's host handler, counting what the browser asks of it.
class CountingHandler : public CDocHostUIHandlerImpl {
 public:
  explicit CountingHandler(int& deletions) : m_deletions(deletions) {}
  ~CountingHandler() override { ++m_deletions; }
  ui::HResult ShowContextMenu(std::uint32_t id, const ui::Point* at, void* a, void* b) override {
    ++menuRequests;
    return showOwnMenu ? CDocHostUIHandlerImpl::ShowContextMenu(id, at, a, b) : ui::kSFalse;
  }
  int menuRequests = 0;
  bool showOwnMenu = true;

 private:
  int& m_deletions;
};

int VisibleToplevels() {
  GList* windows = gtk_window_list_toplevels();
  int count = 0;
  for (GList* item = windows; item; item = item->next) count += gtk_widget_get_visible(GTK_WIDGET(item->data)) ? 1 : 0;
  g_list_free(windows);
  return count;
}

class HandlerBrowserTest : public ShownWindowTest {
 protected:
  void TearDown() override {
    ShownWindowTest::TearDown();
    if (handler) handler->Release();
  }

  int deletions = 0;
  CountingHandler* handler = new CountingHandler(deletions);
};

TEST_F(HandlerBrowserTest, TheDocumentsHandlerDecidesTheMenuTheScrollBarsAndTheExternalObject) {
  EXPECT_FALSE(browser->SetUIHandler(handler)) << "no document yet";
  browser->Navigate("about:blank");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", "about:blank"); }));
  ASSERT_TRUE(browser->SetUIHandler(handler));

  server.Route("/host.html", {.body = Page("<div style='height:5000px;width:5000px'></div><script>"
                                          "addEventListener('load', function () { location.href = '/result?' +"
                                          " getComputedStyle(document.documentElement).overflow + ',' +"
                                          " typeof window.external + ',' + Object.keys(window.external).length;"
                                          " });</script>")});
  recorder.cancelIf = [](const std::string& url) { return url.find("/result?") != std::string::npos; };
  browser->Navigate(server.Url("/host.html"));
  ASSERT_TRUE(PumpUntil([&] { return !recorder.Urls("before").empty() &&
                                      recorder.Urls("before").back().find("/result?") != std::string::npos; }));
  EXPECT_EQ(recorder.Urls("before").back(), server.Url("/result?hidden,object,0"));

  // A right click asks the handler; its S_OK means no menu of the browser's.
  const int before = VisibleToplevels();
  Xdotool("mousemove 300 300 click 3");
  ASSERT_TRUE(PumpUntil([&] { return handler->menuRequests == 1; }));
  PumpFor(std::chrono::milliseconds(500));
  EXPECT_EQ(VisibleToplevels(), before);
  // S_FALSE lets the browser show its own: the check above can see a menu.
  handler->showOwnMenu = false;
  Xdotool("mousemove 300 300 click 3");
  EXPECT_TRUE(PumpUntil([&] { return VisibleToplevels() > before; }, std::chrono::seconds(3)));
  Xdotool("key Escape");
  PumpFor(std::chrono::milliseconds(300));

  // The browser lets go of its reference with its window; ours remains.
  EXPECT_EQ(handler->AddRef(), 3u);
  handler->Release();
  browser.reset();
  EXPECT_EQ(handler->Release(), 0u);
  handler = nullptr;
  EXPECT_EQ(deletions, 1);
}

}  // namespace
}  // namespace kqvtest
