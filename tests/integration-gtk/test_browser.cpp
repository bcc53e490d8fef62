// The WebKitGTK browser against a loopback server: its events, host choices,
// its own page for failed, crashing and runaway pages, and new windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include "GtkTestSupport.h"
#include "LoopbackServer.h"
#include "launcher/CDocHostUIHandlerImpl.h"
#include "platform/gtk/BrowserErrorPage.h"
#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/WebProcessGuard.h"
#include "ui/Browser.h"
#include "ui/Platform.h"
#include "ui/Window.h"

namespace kqvtest {
namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;

struct Event {
  std::string kind;  // before, navigated (the page's), frame navigated, complete
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
  void OnNavigateComplete2(const std::string& url, bool topLevel) override {
    events.push_back({topLevel ? "navigated" : "frame navigated", url});
    if (topLevel && onNavigated) onNavigated(url);
  }
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
  std::function<void(const std::string&)> onNavigated;  // the page's own
};

class HostWindow : public ui::Dialog {
 public:
  HostWindow() : ui::Dialog(134) {}
};

std::string Page(const std::string& body) { return "<!DOCTYPE html><html><body>" + body + "</body></html>"; }

// The text a script gives back in the page shown now; "<none>" when the
// script could not run.
std::string Evaluate(ui::Browser& browser, const std::string& script) {
  struct Result {
    bool done = false;
    bool abandoned = false;
    std::string text = "<none>";
  };
  auto* result = new Result;
  webkit_web_view_evaluate_javascript(
      dynamic_cast<ui::gtk::GtkBrowser&>(browser).View(), script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* view, GAsyncResult* async, gpointer data) {
        auto* r = static_cast<Result*>(data);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), async, nullptr)) {
          gchar* text = jsc_value_to_string(value);
          r->text = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        if (r->abandoned) {
          delete r;
          return;
        }
        r->done = true;
      },
      result);
  if (!PumpUntil([&] { return result->done; }, std::chrono::seconds(5))) {
    result->abandoned = true;
    return "<none>";
  }
  const std::string text = result->text;
  delete result;
  return text;
}

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

  // This browser on a page that never finishes by itself, and a second one
  // (the game window's hidden chat beside the game) sent to its own page.
  std::unique_ptr<ui::Browser> BrowserBesideAFirstPageStillLoading(SilentPort& silent, Recorder& chatEvents) {
    server.Route("/slow-page.html", {.body = Page("<img src='" + silent.Url("/never.png") + "'>")});
    server.Route("/chat.html", {.body = Page("chat")});
    browser->Navigate(server.Url("/slow-page.html"));
    EXPECT_TRUE(PumpUntil([&] { return recorder.Saw("navigated", server.Url("/slow-page.html")); }));
    std::unique_ptr<ui::Browser> chat = host.Peer().CreateBrowser(1002, {0, 0, 400, 300}, chatEvents);
    chat->Navigate(server.Url("/chat.html"));
    return chat;
  }

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

// The first blank page needs no engine, but its events are the engine's: in
// order, after Navigate returns, and none when it is refused or stopped.
TEST_F(BrowserTest, FirstBlankPageIsOfferedCommittedAndCompletedUnlessRefusedOrStopped) {
  const Event before{"before", "about:blank"}, navigated{"navigated", "about:blank"},
      complete{"complete", "about:blank"};
  const struct {
    const char* what;
    bool refuse;
    bool stop;
    std::vector<Event> events;
    bool document;
  } cases[] = {
      {"loaded", false, false, {before, navigated, complete}, true},
      {"refused", true, false, {before}, false},
      {"stopped", false, true, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Recorder events;
    events.cancelIf = [&](const std::string&) { return c.refuse; };
    auto fresh = host.Peer().CreateBrowser(1002, {0, 0, 200, 100}, events);
    ASSERT_TRUE(fresh);
    fresh->Navigate("about:blank");
    EXPECT_TRUE(events.events.empty());  // nothing before Navigate returns
    EXPECT_EQ(fresh->ReadyState(), 1);
    if (c.stop) fresh->Stop();
    PumpUntil([&] { return fresh->ReadyState() == 4 && events.events.size() >= c.events.size(); },
              std::chrono::seconds(3));
    PumpFor(std::chrono::milliseconds(200));  // and nothing more comes
    EXPECT_EQ(events.events, c.events);
    EXPECT_EQ(fresh->HasDocument(), c.document);
    EXPECT_EQ(fresh->ReadyState(), 4);
  }
}

TEST_F(BrowserTest, EveryFrameIsOfferedAndCompletesThePageLast) {
  server.Route("/page.html", {.body = Page("<iframe src='/frame.html'></iframe><iframe src='/frame2.html'></iframe>")});
  server.Route("/frame.html", {.body = Page("one")});
  server.Route("/frame2.html", {.body = Page("two")});
  const std::string page = server.Url("/page.html");
  ASSERT_TRUE(Load(page));
  PumpFor(std::chrono::milliseconds(200));  // nothing more may come

  EXPECT_THAT(recorder.Urls("before"),
              UnorderedElementsAre(page, server.Url("/frame.html"), server.Url("/frame2.html")));
  EXPECT_THAT(recorder.Urls("navigated"), ElementsAre(page));
  EXPECT_THAT(recorder.Urls("complete"),
              UnorderedElementsAre(page, server.Url("/frame.html"), server.Url("/frame2.html")));
  EXPECT_EQ(recorder.events.back(), (Event{"complete", page}));
  EXPECT_EQ(browser->ReadyState(), 4);
}

// The page's NavigateComplete2 comes once its document has been parsed, with
// its title readable from Title() (a host sets its window text there), and
// before every other event of the document but its frames' offers, which
// come as the parser meets the frames. Each frame's comes between its offer
// and its completion, marked as a frame's.
TEST_F(BrowserTest, NavigateCompleteGivesTheNewTitleAndPrecedesEachFramesEvents) {
  LoopbackServer other;  // another origin
  other.Route("/cross.html", {.body = Page("cross")});
  server.Route("/same.html", {.body = Page("same")});
  std::vector<std::string> titles;
  recorder.onNavigated = [&](const std::string&) { titles.push_back(browser->Title()); };
  const std::string frames =
      "<iframe src='/same.html'></iframe><iframe src='" + other.Url("/cross.html") + "'></iframe>";
  const struct {
    const char* path;
    std::string head;
    std::string body;
    std::string title;
    std::vector<std::string> frames;
  } pages[] = {
      {"/titled.html", "<title>第一页</title>", "one", "第一页", {}},
      {"/untitled.html", "", "none", "", {}},
      // The commit comes long before the parser reaches this title.
      {"/late-title.html", "<!--" + std::string(400000, 'x') + "--><title>长页</title>", "late", "长页", {}},
      {"/framed.html", "<title>有框</title>", frames, "有框", {server.Url("/same.html"), other.Url("/cross.html")}},
  };
  for (int round = 0; round < 3; ++round) {
    for (const auto& page : pages) {
      const std::string url = server.Url(std::string(page.path) + "?" + std::to_string(round));
      SCOPED_TRACE(url);
      server.Route(
          std::string(page.path) + "?" + std::to_string(round),
          {.body = "<!DOCTYPE html><html><head>" + page.head + "</head><body>" + page.body + "</body></html>"});
      recorder.events.clear();
      titles.clear();
      ASSERT_TRUE(Load(url));
      PumpFor(std::chrono::milliseconds(100));
      EXPECT_THAT(titles, ElementsAre(page.title));
      const auto& events = recorder.events;
      ASSERT_GE(events.size(), 3u);
      EXPECT_EQ(events[0], (Event{"before", url}));
      const auto firstNotOffer =
          std::find_if(events.begin(), events.end(), [](const Event& e) { return e.kind != "before"; });
      ASSERT_NE(firstNotOffer, events.end());
      EXPECT_EQ(*firstNotOffer, (Event{"navigated", url}));
      EXPECT_EQ(events.back(), (Event{"complete", url}));
      EXPECT_THAT(recorder.Urls("frame navigated"), testing::UnorderedElementsAreArray(page.frames));
      for (const std::string& frame : page.frames) {
        SCOPED_TRACE(frame);
        const auto at = [&](const char* kind) {
          return std::find(events.begin(), events.end(), Event{kind, frame}) - events.begin();
        };
        EXPECT_LT(at("before"), at("frame navigated"));
        EXPECT_LT(at("frame navigated"), at("complete"));
      }
    }
  }
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
    std::string start;      // navigated to
    std::string blocked;    // cancelled, never requested
    std::string completes;  // the top document that still completes, or empty
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

// A browser made while another's first page loads starts its engine once
// that page is in, so the two never share the machine while the player waits.
TEST_F(BrowserTest, ABrowserMadeWhileAnothersFirstPageLoadsWaitsForIt) {
  SilentPort silent;
  Recorder chatEvents;
  std::unique_ptr<ui::Browser> chat = BrowserBesideAFirstPageStillLoading(silent, chatEvents);
  // The first page never finishes by itself; well inside the bound, the
  // chat has not even been offered its address.
  PumpFor(std::chrono::milliseconds(1000));
  EXPECT_EQ(chatEvents.events, std::vector<Event>{});
  EXPECT_FALSE(server.WasRequested("/chat.html"));

  browser->Stop();
  ASSERT_TRUE(PumpUntil([&] { return chatEvents.Saw("complete", server.Url("/chat.html")); }));
  EXPECT_EQ(chatEvents.Urls("before"), std::vector<std::string>{server.Url("/chat.html")});
  chat.reset();
}

// Bounded: a first page that never finishes holds the next browser back for
// a few seconds only.
TEST_F(BrowserTest, ABrowserWaitsForAnothersFirstPageOnlySoLong) {
  SilentPort silent;
  Recorder chatEvents;
  std::unique_ptr<ui::Browser> chat = BrowserBesideAFirstPageStillLoading(silent, chatEvents);
  EXPECT_TRUE(PumpUntil([&] { return chatEvents.Saw("complete", server.Url("/chat.html")); }));
  EXPECT_NE(browser->ReadyState(), 4) << "the first page is still loading";
  browser->Stop();
  chat.reset();
}

// Web processes the engine starts from now on, counted as it starts each.
class SpawnCounter {
 public:
  SpawnCounter() {
    m_id =
        g_signal_connect(ui::gtk::Backend().WebContext(), "initialize-web-extensions",
                         G_CALLBACK(+[](WebKitWebContext*, gpointer count) { ++*static_cast<int*>(count); }), &m_count);
  }
  ~SpawnCounter() { g_signal_handler_disconnect(ui::gtk::Backend().WebContext(), m_id); }
  SpawnCounter(const SpawnCounter&) = delete;
  SpawnCounter& operator=(const SpawnCounter&) = delete;
  int Count() const { return m_count; }

 private:
  int m_count = 0;
  gulong m_id = 0;
};

// The launcher's browser goes and the game window's comes: the page of the
// one that comes loads in the web process the other leaves, with no process
// to wait for; a browser beside a living one still gets a process of its own.
TEST_F(BrowserTest, ABrowserThatGoesLeavesItsWebProcessToTheNextOne) {
  server.Route("/login.html", {.body = Page("login")});
  server.Route("/game.html", {.body = Page("game")});
  server.Route("/chat.html", {.body = Page("chat")});
  ASSERT_TRUE(Load(server.Url("/login.html")));
  SpawnCounter spawns;
  browser.reset();

  Recorder gameEvents;
  std::unique_ptr<ui::Browser> game = host.Peer().CreateBrowser(1002, {0, 0, 400, 300}, gameEvents);
  game->Navigate(server.Url("/game.html"));
  ASSERT_TRUE(PumpUntil([&] { return gameEvents.Saw("complete", server.Url("/game.html")); }));
  EXPECT_EQ(Evaluate(*game, "document.body.textContent"), "game");
  EXPECT_EQ(spawns.Count(), 0) << "the game's page waited for a new web process";

  Recorder chatEvents;
  std::unique_ptr<ui::Browser> chat = host.Peer().CreateBrowser(1003, {0, 0, 400, 300}, chatEvents);
  chat->Navigate(server.Url("/chat.html"));
  ASSERT_TRUE(PumpUntil([&] { return chatEvents.Saw("complete", server.Url("/chat.html")); }));
  EXPECT_EQ(spawns.Count(), 1) << "a browser beside a living one shares its process";
  EXPECT_EQ(Evaluate(*game, "document.body.textContent"), "game");
  chat.reset();
  game.reset();
}

// The game window: its browser is made and sent to its page before the
// window is shown maximised. Whether or not a web process was left for it,
// the view joins the window and its page is asked for only once the window
// is on the screen maximised, so nothing is ever painted at the size the
// window leaves (the part it grows into would show black); the page then
// fills the window's client area.
TEST_F(BrowserTest, AWindowShownMaximisedAsksForItsPageOnceItIsMaximised) {
  server.Route("/login.html", {.body = Page("login")});
  for (const bool processLeft : {false, true}) {
    SCOPED_TRACE(processLeft ? "a web process left for it" : "a web process of its own");
    const std::string path = processLeft ? "/game-after-login.html" : "/game.html";
    server.Route(path, {.body = Page("game")});
    if (processLeft) {
      ASSERT_TRUE(Load(server.Url("/login.html")));
      browser.reset();
    }
    HostWindow window;
    ASSERT_TRUE(window.Create(nullptr));
    GtkWidget* widget = dynamic_cast<ui::gtk::GtkWindowPeer&>(window.Peer()).Widget();
    Recorder events;
    const ui::Rect client = window.Peer().ClientRect();
    std::unique_ptr<ui::Browser> game =
        window.Peer().CreateBrowser(1002, {0, 0, client.Width(), client.Height()}, events);
    // What the window is like when the view first joins it on the screen.
    struct AtMap {
      GtkWidget* window;
      LoopbackServer* server;
      std::string path;
      int maps = 0;
      bool maximised = false;
      bool requested = false;
    } atMap{widget, &server, path};
    GtkWidget* view = GTK_WIDGET(dynamic_cast<ui::gtk::GtkBrowser&>(*game).View());
    g_signal_connect(view, "map", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                       auto* at = static_cast<AtMap*>(data);
                       if (at->maps++) return;
                       GdkWindow* gdkWindow = gtk_widget_get_window(at->window);
                       at->maximised = gdkWindow && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_MAXIMIZED);
                       at->requested = at->server->WasRequested(at->path);
                     }),
                     &atMap);
    game->Navigate(server.Url(path));
    window.ShowWindow(ui::ShowCommand::Maximize);
    ASSERT_TRUE(PumpUntil([&] {
      // The host's layout: the browser fills the client area.
      const ui::Rect now = window.Peer().ClientRect();
      if (game->Placement() != ui::Rect{0, 0, now.Width(), now.Height()}) {
        game->Move({0, 0, now.Width(), now.Height()}, true);
      }
      return events.Saw("complete", server.Url(path));
    }));
    g_signal_handlers_disconnect_by_data(view, &atMap);
    EXPECT_EQ(atMap.maps, 1);
    EXPECT_TRUE(atMap.maximised) << "the view was on the screen before the window was maximised";
    EXPECT_FALSE(atMap.requested) << "the page was asked for before the view was on the screen";
    EXPECT_EQ(Evaluate(*game, "document.body.textContent + ' ' + (innerWidth == screen.width)"), "game true");
    game.reset();
    window.DestroyWindow();
    if (processLeft) break;
    browser = host.Peer().CreateBrowser(1001, {0, 0, 400, 300}, recorder);
  }
}

// A nested main loop, as a message box runs one, that ends after `ms`.
void RunModalLoopFor(guint ms) {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_timeout_add(
      ms,
      [](gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
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
    return choices;
  }
  // Reporting, and "count": the host's answer is made at each call, so only
  // a script that waited for the host can have it.
  ui::HostChoices Counting() {
    ui::HostChoices choices = Reporting(false);
    choices.external["count"] = [this](const std::vector<std::string>& args) {
      counted.push_back(args);
      return "第" + std::to_string(counted.size()) + "次";
    };
    return choices;
  }
  std::vector<std::vector<std::string>> counted;  // the arguments of each count, in order
};

// What a document's script reports: where it runs, the two answers count
// gave it, and what window.external looks like there (names are found
// whatever their case, as on Windows).
constexpr const char* kCountingScript =
    "<script>var e = window.external;"
    " var first = e.count(where, 7, undefined, null, { toString: function () { return '对象'; } });"
    " var second = e.count();"
    " e.report(where, first, second, typeof e.count, typeof e.missing, Object.keys(e).sort().join(),"
    " typeof e.COUNT);</script>";

std::string CountingPage(const std::string& where, const std::string& more = "") {
  return Page("<script>var where = '" + where + "';</script>" + kCountingScript + more);
}

TEST_F(HostChoicesTest, ScriptsGetTheHostsAnswerAtOnceInEveryFrameOfEveryDocument) {
  LoopbackServer other;  // another origin
  Install(Counting());
  server.Route("/app.html", {.body = CountingPage("page", "<iframe src='/same.html'></iframe><iframe src='" +
                                                              other.Url("/cross.html") + "'></iframe>")});
  server.Route("/same.html", {.body = CountingPage("same-origin frame")});
  other.Route("/cross.html", {.body = CountingPage("cross-origin frame")});
  server.Route("/next.html", {.body = CountingPage("next page")});
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> reporters;
  } steps[] = {
      {"first load",
       [&] { browser->Navigate(server.Url("/app.html")); },
       {"page", "same-origin frame", "cross-origin frame"}},
      {"reload",
       [&] { webkit_web_view_reload(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View()); },
       {"page", "same-origin frame", "cross-origin frame"}},
      {"another page", [&] { browser->Navigate(server.Url("/next.html")); }, {"next page"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    calls.clear();
    counted.clear();
    step.act();
    ASSERT_TRUE(PumpUntil([&] { return calls.size() >= step.reporters.size(); }));
    PumpFor(std::chrono::milliseconds(200));
    ASSERT_EQ(calls.size(), step.reporters.size());
    std::vector<std::string> reporters;
    for (const auto& report : calls) {
      ASSERT_EQ(report.size(), 7u);
      const std::string& where = report[0];
      reporters.push_back(where);
      SCOPED_TRACE(where);
      // The answers are the host's for this script's own two calls.
      const auto at = std::find(counted.begin(), counted.end(), std::vector<std::string>{where, "7", "", "", "对象"});
      ASSERT_NE(at, counted.end());
      const std::size_t index = static_cast<std::size_t>(at - counted.begin());
      EXPECT_EQ(report[1], "第" + std::to_string(index + 1) + "次");
      ASSERT_LT(index + 1, counted.size());
      EXPECT_TRUE(counted[index + 1].empty());
      EXPECT_EQ(report[2], "第" + std::to_string(index + 2) + "次");
      EXPECT_EQ(report[3], "function");
      EXPECT_EQ(report[4], "undefined");
      EXPECT_EQ(report[5], "count,report");
      EXPECT_EQ(report[6], "function");
    }
    EXPECT_THAT(reporters, testing::UnorderedElementsAreArray(step.reporters));
  }
}

// A host that installs its methods when the page's navigation completes (the
// game window does) serves the page's own scripts, which may read
// window.external before the page has been parsed; the title is read there.
TEST_F(HostChoicesTest, MethodsInstalledAtNavigateCompleteServeThePagesOwnScripts) {
  std::vector<std::string> titles;
  recorder.onNavigated = [&](const std::string&) {
    titles.push_back(browser->Title());
    browser->InstallHostChoices(Counting());
  };
  const std::string rest = "<div>" + std::string(200000, 'x') + "</div>";  // parsed after the script
  server.Route("/game.html", {.body = "<!DOCTYPE html><html><head><title>游戏</title></head><body>"
                                      "<script>var where = 'game';</script>" +
                                      std::string(kCountingScript) + rest + "</body></html>"});
  browser->Navigate(server.Url("/game.html"));
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
  EXPECT_THAT(calls,
              ElementsAre(ElementsAre("game", "第1次", "第2次", "function", "undefined", "count,report", "function")));
  EXPECT_THAT(titles, ElementsAre("游戏"));
  EXPECT_THAT(recorder.Urls("navigated"), ElementsAre(server.Url("/game.html")));
}

// Choices installed on a document that is showing reach its scripts too, in
// its frames as well.
TEST_F(HostChoicesTest, NewChoicesReachTheDocumentShowing) {
  Install({});
  server.Route("/shown.html", {.body = Page("<iframe src='/shown-frame.html'></iframe>")});
  server.Route("/shown-frame.html", {.body = Page("frame")});
  ASSERT_TRUE(Load(server.Url("/shown.html")));
  const std::string probe =
      "(function () { var f = document.querySelector('iframe').contentWindow;"
      " return Object.keys(window.external).join() + '|' + Object.keys(f.external).join() + '|' +"
      " (window.external.count ? window.external.count('now') : '-'); })()";
  EXPECT_EQ(Evaluate(*browser, probe), "||-");
  ASSERT_TRUE(browser->InstallHostChoices(Counting()));
  std::string seen;
  ASSERT_TRUE(PumpUntil([&] { return (seen = Evaluate(*browser, probe)) != "||-"; }, std::chrono::seconds(3)));
  EXPECT_EQ(seen, "count,report|count,report|第1次");
  EXPECT_THAT(counted, ElementsAre(ElementsAre("now")));
}

// A method may run a modal loop (a message box) before it answers; the
// script still gets its answer.
TEST_F(HostChoicesTest, AMethodThatRunsAModalLoopStillAnswers) {
  ui::HostChoices choices = Reporting(false);
  int asked = 0;
  choices.external["ask"] = [&](const std::vector<std::string>& args) {
    RunModalLoopFor(300);
    return "答" + std::to_string(++asked) + (args.empty() ? "" : args[0]);
  };
  Install(choices);
  server.Route("/ask.html",
               {.body = Page("<script>var a = window.external.ask('一'); var b = window.external.ask('二');"
                             " window.external.report(a, b);</script>")});
  ASSERT_TRUE(Load(server.Url("/ask.html")));
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
  EXPECT_THAT(calls, ElementsAre(ElementsAre("答1一", "答2二")));
}

// Reading a method runs nothing, however a script reads it (the chat
// page's `if (window.external.getNewMsg)` lit the VIP button); only a call
// does. The page's reads come first, then one call that shows the host sees
// calls.
TEST_F(HostChoicesTest, ReadingAMethodRunsNothing) {
  std::vector<std::string> ran;
  ui::HostChoices choices = Reporting(false);
  for (const char* name : {"getNewMsg", "getGsName", "getAppVersion"}) {
    choices.external[name] = [&ran, name](const std::vector<std::string>&) {
      ran.push_back(name);
      return std::string("ran");
    };
  }
  Install(choices);
  const char* reads[] = {
      "window.external.getNewMsg ? 'truthy' : 'falsy'",
      "typeof window.external.getGsName",
      "typeof window.external.GETAPPVERSION",
      "String(window.external.getNewMsg).length > 0",
      "window.external.getNewMsg + ''",
      "JSON.stringify(window.external)",
      "Object.keys(window.external).join()",
      "(function () { var n = []; for (var k in window.external) n.push(typeof window.external[k]); return n.join(); "
      "})()",
      "typeof Object.getOwnPropertyDescriptor(window.external, 'getGsName').value",
      "Object.keys(Object.assign({}, window.external)).join()",
      "window.external.getNewMsg.length + window.external.getNewMsg.name",
      "'getNewMsg' in window.external",
      "!!window.external.getnewmsg",
      "typeof window.external.getAppVersion.call",
  };
  std::string script = "<script>var seen = [];";
  for (const char* read : reads)
    script += "try { seen.push(String(" + std::string(read) + ")); } catch (e) { seen.push('threw'); }";
  script += "window.external.report.apply(null, seen);</script>";
  server.Route("/reads.html", {.body = Page(script)});
  ASSERT_TRUE(Load(server.Url("/reads.html")));
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
  ASSERT_EQ(calls.front().size(), std::size(reads));
  for (std::size_t i = 0; i < std::size(reads); ++i) EXPECT_NE(calls.front()[i], "threw") << reads[i];
  EXPECT_EQ(calls.front()[0], "truthy");
  EXPECT_EQ(calls.front()[1], "function");
  EXPECT_EQ(calls.front()[2], "function");
  EXPECT_THAT(ran, testing::IsEmpty());

  EXPECT_EQ(Evaluate(*browser, "window.external.getNewMsg('新消息')"), "ran");
  EXPECT_THAT(ran, ElementsAre("getNewMsg"));
}

// Script text leaves the page as UTF-8: a lone surrogate becomes U+FFFD and
// the rest of the text stays, in a method's arguments and in the title the
// host reads at NavigateComplete2 (taken when the page has been parsed, or
// when a script reads window.external before that).
TEST_F(HostChoicesTest, LoneSurrogatesInScriptTextBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* literal;  // a script string literal
    std::string text;     // what the host receives
  } cases[] = {
      {R"('甲\ud800乙')", "甲" + fffd + "乙"},
      {R"('\udc00')", fffd},
      {R"('名\ud83d')", "名" + fffd},
      {R"('\ud800\ud83d\ude00!')", fffd + "\xF0\x9F\x98\x80!"},
      {R"('\ude00\ud83dx')", fffd + fffd + "x"},
      {R"('a\ud83d\ude00b')",
       "a\xF0\x9F\x98\x80"
       "b"},
      {R"(String.fromCharCode(0xd800) + 'x')", fffd + "x"},
      {R"({ toString: function () { return '对\udfff象'; } })", "对" + fffd + "象"},
  };
  std::vector<std::string> titles;
  recorder.onNavigated = [&](const std::string&) { titles.push_back(browser->Title()); };
  Install(Reporting(false));
  std::string args;
  for (const auto& c : cases) args += std::string(args.empty() ? "" : ", ") + c.literal;
  const struct {
    const char* what;
    std::string head;
  } pages[] = {
      {"title when parsed", ""},
      {"title when a script reads window.external first",
       "<script>document.title = '标\\ud800题'; window.external;</script>"},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page.what);
    calls.clear();
    titles.clear();
    server.Route("/text.html", {.body = "<!DOCTYPE html><html><head>" + page.head +
                                        "</head><body><script>"
                                        "document.title = '标\\ud800题'; window.external.report(" +
                                        args + ");</script></body></html>"});
    ASSERT_TRUE(Load(server.Url("/text.html")));
    ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
    ASSERT_EQ(calls.front().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(calls.front()[i], cases[i].text) << cases[i].literal;
    EXPECT_THAT(titles, ElementsAre("标" + fffd + "题"));
  }
}

// A page's script may ask before the client has handled its document's
// commit, which reaches the client on the engine's own channel, not on the
// one the call comes by. The host here installs, at each page's
// NavigateComplete2, a method that names that page; every page calls it at
// once from its head and moves on, between two origins (so also between web
// processes where the engine swaps them). Busy threads keep the cores full,
// as other programs do, so the two channels' threads fall out of step.
TEST_F(HostChoicesTest, EachCallIsServedAfterItsDocumentsCommit) {
  recorder.onNavigated = [&](const std::string& url) {
    ui::HostChoices choices = Reporting(false);
    choices.external["where"] = [url](const std::vector<std::string>&) { return url; };
    browser->InstallHostChoices(choices);
  };
  LoopbackServer other;
  constexpr int kPages = 40;
  for (int k = 0; k < kPages; ++k) {
    const std::string next =
        k + 1 == kPages ? "about:blank" : (k % 2 ? server : other).Url("/p" + std::to_string(k + 1) + ".html");
    (k % 2 ? other : server)
        .Route("/p" + std::to_string(k) + ".html",
               {.body = "<!DOCTYPE html><html><head><script>var e = window.external;"
                        " e.report(location.href, e.where ? e.where() : 'no method'); location.href = '" +
                        next + "';</script></head><body></body></html>"});
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (unsigned i = 0; i < 4 * std::max(2u, std::thread::hardware_concurrency()); ++i) {
    busy.emplace_back([&stop] {
      volatile unsigned long spins = 0;
      while (!stop.load(std::memory_order_relaxed)) spins = spins + 1;
    });
  }
  calls.clear();
  browser->Navigate(server.Url("/p0.html"));
  const bool all = PumpUntil([&] { return calls.size() >= kPages; }, std::chrono::seconds(120));
  stop = true;
  for (std::thread& thread : busy) thread.join();
  ASSERT_TRUE(all) << calls.size() << " of " << kPages << " pages called";
  for (const auto& call : calls) {
    ASSERT_EQ(call.size(), 2u);
    EXPECT_EQ(call[1], call[0]) << "the call of " << call[0] << " was served before its commit was handled";
  }
}

// The browser may go while its page waits on a call: from inside the host's
// method, or from elsewhere while the method runs a modal loop. Nothing
// crashes, and a browser made afterwards in the same window answers.
TEST_F(HostChoicesTest, ABrowserThatGoesDuringACallLeavesTheOthersWorking) {
  const struct {
    const char* what;
    bool fromTheMethod;
  } cases[] = {{"the method ends the browser", true}, {"a modal loop's timer ends it", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recorder.events.clear();
    int entered = 0;
    ui::HostChoices choices = Reporting(false);
    choices.external["work"] = [&](const std::vector<std::string>&) {
      ++entered;
      if (c.fromTheMethod) {
        browser.reset();
      } else {
        RunModalLoopFor(50);
      }
      return std::string("done");
    };
    Install(choices);
    server.Route("/busy.html", {.body = Page("<script>setInterval(function () { window.external.work(); }, 1);"
                                             "</script>")});
    browser->Navigate(server.Url("/busy.html"));
    ASSERT_TRUE(PumpUntil([&] { return entered > 0; }));
    if (!c.fromTheMethod) {
      ASSERT_TRUE(PumpUntil([&] { return entered >= 3; }));
      // Inside one of the method's loops.
      g_timeout_add(
          1,
          [](gpointer data) {
            static_cast<std::unique_ptr<ui::Browser>*>(data)->reset();
            return G_SOURCE_REMOVE;
          },
          &browser);
    }
    ASSERT_TRUE(PumpUntil([&] { return !browser; }));
    const int calls_ = entered;
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_LE(entered, calls_ + 1);  // the gone browser's page calls the host no more

    browser = host.Peer().CreateBrowser(1001, {0, 0, 400, 300}, recorder);
    ASSERT_TRUE(browser);
    calls.clear();
    recorder.events.clear();
    Install(Counting());
    server.Route("/after.html", {.body = CountingPage("after")});
    ASSERT_TRUE(Load(server.Url("/after.html")));
    ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
    EXPECT_THAT(calls.front(),
                ElementsAre("after", "第1次", "第2次", "function", "undefined", "count,report", "function"));
    counted.clear();
  }
}

// The choice is the page's own document's, on every load of it; a frame
// keeps the scroll bars its page gives it, as the frame's own attribute and
// styles decide.
TEST_F(HostChoicesTest, ScrollBarsFollowTheChoiceOnThePageOnEveryLoad) {
  struct Case {
    bool scrollBars;
    const char* overflow;
  };
  const std::string reportOverflow =
      "<div style='height:5000px;width:5000px'></div><script>addEventListener('load', function () {"
      " window.external.report(where, getComputedStyle(document.documentElement).overflow); });</script>";
  server.Route("/tall-frame.html", {.body = Page("<script>var where = 'frame';</script>" + reportOverflow)});
  for (const Case c : {Case{false, "hidden"}, Case{true, "visible"}}) {
    SCOPED_TRACE(c.scrollBars);
    calls.clear();
    recorder.events.clear();
    Install(Reporting(c.scrollBars));
    const std::string path = std::string("/tall-") + (c.scrollBars ? "bars" : "none") + ".html";
    server.Route(path, {.body = Page("<script>var where = 'page';</script><iframe src='/tall-frame.html'></iframe>" +
                                     reportOverflow)});
    for (const bool reload : {false, true}) {
      SCOPED_TRACE(reload ? "reload" : "first load");
      calls.clear();
      if (reload) {
        webkit_web_view_reload(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View());
      } else {
        browser->Navigate(server.Url(path));
      }
      ASSERT_TRUE(PumpUntil([&] { return calls.size() >= 2; }));
      EXPECT_THAT(calls, UnorderedElementsAre(ElementsAre("page", c.overflow), ElementsAre("frame", "visible")));
    }
  }
}

TEST_F(HostChoicesTest, CleaningTheCacheRefetchesResourcesAndKeepsCookies) {
  Install(Reporting(false));
  server.Route("/cached.js", {.contentType = "application/javascript",
                              .body = "window.fromCache = 1;",
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

// A game may keep its files in the cache storage, fetched through a service
// worker: cleaning removes both, so the next load fetches them afresh, and
// keeps what holds the player's settings (cookies, local storage, IndexedDB).
TEST_F(HostChoicesTest, CleaningTheCacheRemovesWorkersAndTheirCachesAndKeepsSettings) {
  Install(Reporting(false));
  server.Route("/worker.js",
               {.contentType = "application/javascript", .body = "self.addEventListener('fetch', function () {});"});
  server.Route("/store.html",
               {.body = Page("<script>(async function () {"
                             " document.cookie = 'kept=yes; max-age=3600; path=/';"
                             " localStorage.setItem('kept', 'yes');"
                             " await new Promise(function (done) {"
                             "   var open = indexedDB.open('settings', 1);"
                             "   open.onupgradeneeded = function () { open.result.createObjectStore('s'); };"
                             "   open.onsuccess = function () {"
                             "     var t = open.result.transaction('s', 'readwrite');"
                             "     t.objectStore('s').put('yes', 'kept'); t.oncomplete = done; }; });"
                             " var cache = await caches.open('game');"
                             " await cache.put('/asset.txt', new Response('cached'));"
                             " await navigator.serviceWorker.register('/worker.js');"
                             " await navigator.serviceWorker.ready;"
                             " window.external.report('stored');"
                             "})().catch(function (e) { window.external.report('failed ' + e); });</script>")});
  server.Route("/check.html",
               {.body = Page("<script>(async function () {"
                             " var keys = await caches.keys();"
                             " var workers = await navigator.serviceWorker.getRegistrations();"
                             " var indexed = await new Promise(function (done) {"
                             "   var open = indexedDB.open('settings', 1);"
                             "   open.onupgradeneeded = function () { open.result.createObjectStore('s'); };"
                             "   open.onsuccess = function () {"
                             "     var get = open.result.transaction('s').objectStore('s').get('kept');"
                             "     get.onsuccess = function () { done(String(get.result)); }; }; });"
                             " window.external.report('caches ' + keys.length + ', workers ' + workers.length +"
                             "   ', local ' + localStorage.getItem('kept') + ', indexed ' + indexed +"
                             "   ', cookie ' + (document.cookie.indexOf('kept=yes') >= 0));"
                             "})().catch(function (e) { window.external.report('failed ' + e); });</script>"),
                .extraHeaders = "Cache-Control: no-store\r\n"});
  const auto check = [&] {
    calls.clear();
    if (!Load(server.Url("/check.html")) || !PumpUntil([&] { return !calls.empty(); })) return std::string("none");
    return calls.front().empty() ? std::string() : calls.front().front();
  };
  ASSERT_TRUE(Load(server.Url("/store.html")));
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }));
  ASSERT_THAT(calls.front(), ElementsAre("stored"));
  ASSERT_EQ(check(), "caches 1, workers 1, local yes, indexed yes, cookie true");  // the premise

  ASSERT_TRUE(Load("about:blank"));
  ui::GetPlatform().CleanBrowserCache();
  EXPECT_EQ(check(), "caches 0, workers 0, local yes, indexed yes, cookie true");
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
      {true, "Return", {"Enter"}, {}},        {true, "Escape", {"Escape"}, {}}, {false, "Return", {}, {ui::kIdOk}},
      {false, "Escape", {}, {ui::kIdCancel}}, {false, "b", {"b"}, {}},
  };
  ASSERT_TRUE(Load("/keys.html",
                   "<input id='field' style='width:300px;height:200px'><script>"
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
  ASSERT_TRUE(PumpUntil([&] {
    return !recorder.Urls("before").empty() && recorder.Urls("before").back().find("/result?") != std::string::npos;
  }));
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

// The menu choice holds for the whole view: in the page and in a frame from
// another origin, on each document.
TEST_F(ShownWindowTest, TheMenuChoiceHoldsInThePageAndInItsFrames) {
  LoopbackServer other;  // another origin
  other.Route("/frame.html", {.body = Page("<div style='height:1000px'>frame</div>")});
  server.Route("/plain.html", {.body = Page("<div style='height:1000px'>page</div>")});
  server.Route("/framed.html",
               {.body = "<!DOCTYPE html><html><body style='margin:0'><iframe src='" + other.Url("/frame.html") +
                        "' style='border:0;width:400px;height:300px'></iframe></body></html>"});
  browser->Navigate("about:blank");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", "about:blank"); }));
  for (const bool menu : {false, true}) {
    ui::HostChoices choices;
    choices.contextMenu = menu;
    ASSERT_TRUE(browser->InstallHostChoices(choices));
    for (const char* path : {"/plain.html", "/framed.html"}) {
      SCOPED_TRACE(std::string(path) + (menu ? " with the menu" : " without it"));
      recorder.events.clear();
      browser->Navigate(server.Url(path));
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", server.Url(path)); }));
      const int before = VisibleToplevels();
      Xdotool("mousemove 300 300 click 3");  // inside the frame, where there is one
      if (menu) {
        EXPECT_TRUE(PumpUntil([&] { return VisibleToplevels() > before; }, std::chrono::seconds(3)));
        Xdotool("key Escape");
        PumpUntil([&] { return VisibleToplevels() == before; }, std::chrono::seconds(2));
      } else {
        PumpFor(std::chrono::milliseconds(500));
        EXPECT_EQ(VisibleToplevels(), before);
      }
    }
  }
}

}  // namespace
}  // namespace kqvtest

// ---------------------------------------------------------------------------
// Pages that fail, crash or run away, and new windows.

namespace kqvtest {
namespace {

using ui::gtk::ErrorPageReason;
using ui::gtk::PageFault;

std::string UrlOnPort(int port, const std::string& path) { return "http://127.0.0.1:" + std::to_string(port) + path; }

// What our error page says, or "" when another page shows.
std::string ErrorPageReasonShown(ui::Browser& browser) {
  return Evaluate(browser,
                  "(function () { var b = document.getElementById('kqv-retry');"
                  " return b ? document.getElementById('reason').textContent : ''; })()");
}

bool ShowsErrorPage(ui::Browser& browser, PageFault fault) {
  return ErrorPageReasonShown(browser) == ErrorPageReason(fault);
}

// Ends, as a crash would, every web process this test process started.
int KillWebProcesses() {
  int killed = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    const auto open = line.find('(');
    if (close == std::string::npos || open == std::string::npos) continue;
    const std::string name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent == getpid() && name.rfind("WebKitWebProces", 0) == 0 && state != "Z") {
      if (kill(pid, SIGKILL) == 0) ++killed;
    }
  }
  closedir(proc);
  return killed;
}

TEST(RestartWindowTest, AllowsThreeRestartsInAnyMinute) {
  using std::chrono::seconds;
  using ui::gtk::RestartWindow;
  struct Case {
    const char* name;
    std::vector<int> at;        // seconds of each restart asked for
    std::vector<bool> allowed;  // the answers
  };
  const Case cases[] = {
      {"three at once, the fourth refused", {0, 1, 2, 3}, {true, true, true, false}},
      {"refused ones do not count", {0, 1, 2, 3, 4, 60}, {true, true, true, false, false, true}},
      {"the window slides", {0, 30, 59, 60, 61, 89}, {true, true, true, true, false, false}},
      {"spread out, never refused", {0, 25, 50, 75, 100, 125}, {true, true, true, true, true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestartWindow window;
    const auto start = RestartWindow::Clock::time_point{} + std::chrono::hours(1);
    std::vector<bool> answers;
    for (const int s : c.at) answers.push_back(window.Allow(start + seconds(s)));
    EXPECT_EQ(answers, c.allowed);
  }
  // The player's retry starts afresh.
  RestartWindow window;
  const auto start = RestartWindow::Clock::time_point{};
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(window.Allow(start));
  ASSERT_FALSE(window.Allow(start));
  window.Clear();
  EXPECT_TRUE(window.Allow(start));
}

TEST_F(BrowserTest, AFailedLoadShowsOurPageReportedAsTheEnginesOwnWas) {
  ASSERT_TRUE(Load("about:blank"));
  recorder.events.clear();
  const std::string url = UrlOnPort(RefusedPort(), "/login.html?a=1&amp=2");
  browser->Navigate(url);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
  PumpFor(std::chrono::milliseconds(500));  // nothing more may come
  // Before our page the engine showed its own in place of the failed one,
  // and the host saw that page complete the failed address: it still does.
  EXPECT_THAT(recorder.events, ElementsAre(Event{"before", url}, Event{"navigated", url}, Event{"complete", url}));
  EXPECT_EQ(browser->ReadyState(), 4);
  EXPECT_EQ(ErrorPageReasonShown(*browser), ErrorPageReason(PageFault::LoadFailed));
  // The address is shown as text, never as markup.
  EXPECT_EQ(Evaluate(*browser, "document.getElementById('address').textContent"), url);
  EXPECT_EQ(Evaluate(*browser, "document.title"), "页面无法打开");
}

// An address the engine refuses to load at all, such as one on a restricted
// port, shows our page as any failed load does, although the engine reports
// no failure of its own: as the browser's first page (the launcher's start
// address), after the first blank page, and after another page.
TEST_F(BrowserTest, AnAddressTheEngineRefusesShowsOurPage) {
  server.Route("/before.html", {.body = Page("before")});
  const std::string url = "http://127.0.0.1:9/start.html?a=1";
  for (const char* before : {"", "about:blank", "/before.html"}) {
    SCOPED_TRACE(*before ? before : "first page");
    Recorder events;
    auto fresh = host.Peer().CreateBrowser(1002, {0, 0, 400, 300}, events);
    ASSERT_TRUE(fresh);
    if (*before) {
      const std::string first = before[0] == '/' ? server.Url(before) : before;
      fresh->Navigate(first);
      ASSERT_TRUE(PumpUntil([&] { return events.Saw("complete", first); }));
      events.events.clear();
    }
    fresh->Navigate(url);
    EXPECT_TRUE(PumpUntil([&] { return events.Saw("complete", url); }));
    PumpFor(std::chrono::milliseconds(300));  // nothing more may come
    EXPECT_THAT(events.events, ElementsAre(Event{"before", url}, Event{"navigated", url}, Event{"complete", url}));
    EXPECT_EQ(fresh->ReadyState(), 4);
    EXPECT_EQ(ErrorPageReasonShown(*fresh), ErrorPageReason(PageFault::LoadFailed));
    EXPECT_EQ(Evaluate(*fresh, "document.getElementById('address').textContent"), url);
  }
}

// A load stopped on purpose is no failure: whatever showed stays, and no page
// of ours appears.
TEST_F(BrowserTest, CancelledLoadsShowNoErrorPage) {
  SilentPort silent;
  server.Route("/shown.html", {.body = Page("<p id='mark'>shown</p>")});
  server.Route("/to-blocked", {.status = 302, .body = "", .location = "/blocked-target.html"});
  struct Case {
    const char* name;
    std::string url;
    bool stop;  // stopped by the host after it was asked for
  };
  const Case cases[] = {
      {"stopped before any answer", silent.Url("/never.html"), true},
      {"cancelled by the host", server.Url("/blocked-page.html"), false},
      {"redirect target cancelled by the host", server.Url("/to-blocked"), false},
  };
  recorder.cancelIf = [](const std::string& url) { return url.find("/blocked") != std::string::npos; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(server.Url("/shown.html")));
    recorder.events.clear();
    browser->Navigate(c.url);
    if (c.stop) {
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", c.url); }));
      PumpFor(std::chrono::milliseconds(200));
      browser->Stop();
    } else {
      ASSERT_TRUE(PumpUntil([&] {
        return recorder.Saw("before", server.Url("/blocked-page.html")) ||
               recorder.Saw("before", server.Url("/blocked-target.html"));
      }));
    }
    PumpFor(std::chrono::milliseconds(700));
    EXPECT_TRUE(recorder.Urls("navigated").empty());
    EXPECT_TRUE(recorder.Urls("complete").empty());
    EXPECT_EQ(ErrorPageReasonShown(*browser), "");
    EXPECT_EQ(Evaluate(*browser, "document.getElementById('mark').textContent"), "shown");
  }
}

// The retry button is clicked for real; what it loads is offered to the host
// as any navigation is, and the host may still cancel it.
TEST_F(ShownWindowTest, RetryLoadsTheFailedAddressAgainAsANavigation) {
  struct Case {
    const char* name;
    bool hostCancels;
  };
  for (const Case c : {Case{"allowed", false}, Case{"cancelled by the host", true}}) {
    SCOPED_TRACE(c.name);
    const int port = RefusedPort();
    const std::string url = UrlOnPort(port, "/game.html");
    recorder.events.clear();
    recorder.cancelIf = nullptr;
    browser->Navigate(url);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
    ASSERT_TRUE(ShowsErrorPage(*browser, PageFault::LoadFailed));

    LoopbackServer back(port);
    back.Route("/game.html", {.body = Page("<p id='mark'>back</p>")});
    recorder.events.clear();
    if (c.hostCancels) recorder.cancelIf = [&](const std::string& u) { return u == url; };
    // The button is 65 pixels below the middle of the 400 x 300 page, whose
    // corner is at (150, 150) on the screen.
    Xdotool("mousemove 350 365 click 1");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", url); }));
    if (c.hostCancels) {
      PumpFor(std::chrono::milliseconds(700));
      EXPECT_THAT(recorder.events, ElementsAre(Event{"before", url}));
      EXPECT_FALSE(back.WasRequested("/game.html"));
      EXPECT_TRUE(ShowsErrorPage(*browser, PageFault::LoadFailed)) << "the page went though nothing replaced it";
      // Its button still works once the host lets the address through.
      recorder.cancelIf = nullptr;
      recorder.events.clear();
      Xdotool("mousemove 350 365 click 1");
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
      EXPECT_EQ(back.Count("/game.html"), 1);
    } else {
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
      EXPECT_THAT(recorder.events, ElementsAre(Event{"before", url}, Event{"navigated", url}, Event{"complete", url}));
      EXPECT_EQ(back.Count("/game.html"), 1);
      EXPECT_EQ(Evaluate(*browser, "document.getElementById('mark').textContent"), "back");
    }
  }
}

// A page whose process ends each time it has loaded: three reloads in a
// minute, then our page, which the host does not hear of; the player's retry
// starts the count afresh.
TEST_F(BrowserTest, ACrashingPageIsReloadedThreeTimesThenOurPageShows) {
  server.Route("/crashing.html", {.body = Page("<p>crashing</p>"), .extraHeaders = "Cache-Control: no-store\r\n"});
  const std::string url = server.Url("/crashing.html");
  ASSERT_TRUE(Load(url));
  for (int restart = 1; restart <= 3; ++restart) {
    SCOPED_TRACE(restart);
    recorder.events.clear();
    ASSERT_GT(KillWebProcesses(), 0);
    // The reload is a navigation the host is offered and sees complete.
    ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
    EXPECT_THAT(recorder.events, ElementsAre(Event{"before", url}, Event{"navigated", url}, Event{"complete", url}));
    EXPECT_EQ(server.Count("/crashing.html"), 1 + restart);
  }
  recorder.events.clear();
  ASSERT_GT(KillWebProcesses(), 0);
  ASSERT_TRUE(PumpUntil([&] { return ShowsErrorPage(*browser, PageFault::Crashed); }));
  PumpFor(std::chrono::milliseconds(1500));
  EXPECT_THAT(recorder.events, ElementsAre());
  EXPECT_EQ(server.Count("/crashing.html"), 4);
  EXPECT_EQ(browser->ReadyState(), 4);

  // The retry, as its button would ask: a fresh start, so the next crash
  // reloads again.
  Evaluate(*browser, "document.getElementById('kqv-retry').click(), 'clicked'");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
  EXPECT_EQ(server.Count("/crashing.html"), 5);
  recorder.events.clear();
  ASSERT_GT(KillWebProcesses(), 0);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
  EXPECT_EQ(server.Count("/crashing.html"), 6);
}

// Our own page losing its process comes back as it was, without a reload of
// the address it stands for.
TEST_F(BrowserTest, OurPageSurvivesItsOwnProcess) {
  const std::string url = UrlOnPort(RefusedPort(), "/gone.html");
  browser->Navigate(url);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
  ASSERT_TRUE(ShowsErrorPage(*browser, PageFault::LoadFailed));
  recorder.events.clear();
  ASSERT_GT(KillWebProcesses(), 0);
  PumpFor(std::chrono::milliseconds(300));
  ASSERT_TRUE(PumpUntil([&] { return ShowsErrorPage(*browser, PageFault::LoadFailed); }));
  PumpFor(std::chrono::milliseconds(500));
  EXPECT_THAT(recorder.events, ElementsAre());
}

// A page that allocates without end is stopped at the bound and not loaded
// again; the player sees why.
// (Shown: the engine slows the timers of pages nobody can see.)
TEST_F(ShownWindowTest, ARunawayPageIsStoppedAtTheMemoryBound) {
  // About 320 MB a second, as fast as the page that made the bound needed;
  // it stops by itself at twice the bound, should the bound be missing.
  server.Route("/runaway.html",
               {.body = Page("<script>var kept = []; setInterval(function () {"
                             " if (kept.length < 256) kept.push(new Uint8Array(16 * 1024 * 1024).fill(7));"
                             " }, 50);</script>")});
  const std::string url = server.Url("/runaway.html");
  browser->Navigate(url);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", url); }));
  recorder.events.clear();
  ASSERT_TRUE(PumpUntil([&] { return ShowsErrorPage(*browser, PageFault::OutOfMemory); }, std::chrono::seconds(40)));
  PumpFor(std::chrono::milliseconds(1500));
  EXPECT_THAT(recorder.events, ElementsAre());
  EXPECT_EQ(server.Count("/runaway.html"), 1);
}

// window.open and a link's target both reach the host before anything opens;
// what the host lets through opens in the system's browser, once.
TEST_F(ShownBrowserTest, ScriptedAndTargetedNewWindowsFollowOneRule) {
  struct Case {
    const char* name;
    const char* opener;  // the page's button does this with the address
    const char* path;
    bool hostCancels;
  };
  const Case cases[] = {
      {"window.open, let through", "open", "/popup-open.html", false},
      {"window.open, cancelled", "open", "/popup-open-blocked.html", true},
      {"target=_blank, let through", "link", "/popup-link.html", false},
      {"target=_blank, cancelled", "link", "/popup-link-blocked.html", true},
      {"address given after window.open, let through", "later", "/popup-later.html", false},
      {"address given after window.open, cancelled", "later", "/popup-later-blocked.html", true},
  };
  const auto button = [](const std::string& script) {
    return "<button style='width:400px;height:300px' onclick=\"" + script + "\">open</button>";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = server.Url(c.path);
    const std::string opener = c.opener;
    const std::string body = opener == "open" ? button("window.open('" + target + "')")
                             : opener == "later"
                                 ? button("var w = window.open(); w.location.href = '" + target + "';")
                                 : "<a href='" + target +
                                       "' target='_blank' style='display:block;width:400px;height:300px'>"
                                       "open</a>";
    ASSERT_TRUE(Load(std::string("/opener-") + (c.hostCancels ? "c" : "a") + c.opener + ".html", body));
    recorder.events.clear();
    recorder.cancelIf = [&](const std::string& url) { return c.hostCancels && url == target; };
    g_remove(OpenedPagesFile().c_str());
    Xdotool("mousemove 300 300 click 1");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("before", target); }));
    PumpFor(std::chrono::milliseconds(1500));
    EXPECT_EQ(recorder.Urls("before"), std::vector<std::string>{target}) << "offered once";
    EXPECT_EQ(OpenedPages(), c.hostCancels ? std::vector<std::string>{} : std::vector<std::string>{target});
    EXPECT_FALSE(server.WasRequested(c.path));
  }
  // A window that never gets an address offers nothing and opens nothing.
  ASSERT_TRUE(Load("/opener-written.html", button("var w = window.open(''); w.document.write('written');"
                                                  " window.external.report(String(w.closed));")));
  recorder.events.clear();
  reports.clear();
  g_remove(OpenedPagesFile().c_str());
  Xdotool("mousemove 300 300 click 1");
  ASSERT_TRUE(PumpUntil([&] { return !reports.empty(); }));
  PumpFor(std::chrono::milliseconds(1000));
  EXPECT_THAT(reports, ElementsAre("false"));
  EXPECT_THAT(recorder.events, ElementsAre());
  EXPECT_THAT(OpenedPages(), ElementsAre());
}

// Where a point of the page is on the screen.
std::pair<int, int> PageOnScreen(ui::Browser& browser, int x, int y) {
  GtkWidget* view = GTK_WIDGET(dynamic_cast<ui::gtk::GtkBrowser&>(browser).View());
  GtkWidget* top = gtk_widget_get_toplevel(view);
  int inTop[2] = {0, 0}, origin[2] = {0, 0};
  gtk_widget_translate_coordinates(view, top, x, y, &inTop[0], &inTop[1]);
  gdk_window_get_origin(gtk_widget_get_window(top), &origin[0], &origin[1]);
  return {origin[0] + inTop[0], origin[1] + inTop[1]};
}

void ClickPage(ui::Browser& browser, int x, int y) {
  const auto [sx, sy] = PageOnScreen(browser, x, y);
  Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click 1");
}

// Only web addresses leave the client for the system's browser. Every way a
// page asks for a new window, with every kind of address, from the page and
// from a frame of another origin: the desktop's handler of each scheme here
// is the recording one (main.cpp), so anything else that left would show.
TEST_F(ShownBrowserTest, OnlyWebAddressesOfNewWindowsReachTheSystemBrowser) {
  LoopbackServer other;  // the frame's origin
  // Text files that exist, which the desktop would give to its text handler.
  const auto probe = [](const std::string& tag) {
    const std::string path = TestHome() + "/probe-" + tag + ".txt";
    g_file_set_contents(path.c_str(), "probe\n", -1, nullptr);
    return path;
  };
  const std::vector<std::string> openers = {"open", "link", "later"};
  struct Scheme {
    const char* name;
    bool leaves;
    std::function<std::string(const std::string& tag)> address;
  };
  const std::vector<Scheme> schemes = {
      {"file", false, [&](const std::string& tag) { return "file://" + probe(tag); }},
      {"custom", false, [](const std::string& tag) { return "kqvprobe://" + tag; }},
      {"ftp", false, [](const std::string& tag) { return "ftp://127.0.0.1/" + tag; }},
      {"smb", false, [](const std::string& tag) { return "smb://127.0.0.1/share-" + tag; }},
      {"javascript", false, [](const std::string&) { return std::string("javascript:void(0)"); }},
      {"data", false, [](const std::string& tag) { return "data:text/plain," + tag; }},
      {"http", true, [&](const std::string& tag) { return server.Url("/out-" + tag + ".html"); }},
      {"https", true, [&](const std::string& tag) { return "https" + server.Url("/out-" + tag).substr(4); }},
  };
  // One cell per case: a column per scheme, a row per way of opening.
  constexpr int kCellWidth = 50, kCellHeight = 100;
  const auto grid = [&](const std::string& origin) {
    std::string cells =
        "<style>body{margin:0} .c{position:absolute;width:50px;height:100px;"
        "padding:0;margin:0;border:0;display:block}</style>";
    for (std::size_t row = 0; row < openers.size(); ++row) {
      for (std::size_t column = 0; column < schemes.size(); ++column) {
        const std::string address = schemes[column].address(openers[row] + "-" + origin);
        const std::string place = "style='left:" + std::to_string(column * kCellWidth) +
                                  "px;top:" + std::to_string(row * kCellHeight) + "px'";
        if (openers[row] == "link") {
          cells += "<a class='c' " + place + " href='" + address + "' target='_blank'>a</a>";
        } else if (openers[row] == "open") {
          cells += "<button class='c' " + place + " onclick=\"window.open('" + address + "')\">o</button>";
        } else {
          cells += "<button class='c' " + place + " onclick=\"var w = window.open(); w.location.href = '" + address +
                   "';\">l</button>";
        }
      }
    }
    return cells;
  };
  other.Route("/grid.html", {.body = Page(grid("frame"))});
  const struct {
    const char* origin;
    std::string body;
  } pages[] = {
      {"page", grid("page")},
      {"frame", "<style>body{margin:0}</style><iframe src='" + other.Url("/grid.html") +
                    "' style='border:0;width:400px;height:300px'></iframe>"},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page.origin);
    ASSERT_TRUE(Load(std::string("/grid-") + page.origin + ".html", page.body));
    if (std::string(page.origin) == "frame") {
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", other.Url("/grid.html")); }));
    }
    g_remove(OpenedPagesFile().c_str());
    std::vector<std::string> leaving;
    // The refused ones first: what they would start starts before the web
    // addresses arrive, which are waited for.
    for (const bool leaves : {false, true}) {
      for (std::size_t row = 0; row < openers.size(); ++row) {
        for (std::size_t column = 0; column < schemes.size(); ++column) {
          if (schemes[column].leaves != leaves) continue;
          if (leaves) leaving.push_back(schemes[column].address(openers[row] + "-" + page.origin));
          ClickPage(*browser, static_cast<int>(column) * kCellWidth + kCellWidth / 2,
                    static_cast<int>(row) * kCellHeight + kCellHeight / 2);
          PumpFor(std::chrono::milliseconds(30));
        }
      }
    }
    EXPECT_TRUE(PumpUntil([&] { return OpenedPages().size() >= leaving.size(); }, std::chrono::seconds(15)));
    PumpFor(std::chrono::milliseconds(500));  // nothing more may come
    EXPECT_THAT(OpenedPages(), testing::UnorderedElementsAreArray(leaving));
    for (const std::string& request : server.Requests()) EXPECT_EQ(request.find("/out-"), std::string::npos);
  }
}

// A window opened without an address is never shown, so nobody could answer
// its script dialogs: they are answered at once (alert dismissed, confirm
// false, prompt null), from the page and from a frame of another origin,
// and the page goes on: its timers run and a reload works. Once the window
// has been handed off, it is closed.
TEST_F(ShownBrowserTest, DialogsOfHiddenWindowsAreAnsweredAtOnce) {
  LoopbackServer other;  // the frame's origin
  const std::string target = server.Url("/handed-off.html");
  const std::string dialogs =
      "var w = window.open(); w.alert('a'); var c = w.confirm('c'); var p = w.prompt('p', 'given');"
      " window.external.report('confirm ' + c + ', prompt ' + p);"
      " w.location.href = '" +
      target +
      "';"
      " var poll = setInterval(function () { if (w.closed) { clearInterval(poll); window.external.report('closed'); } "
      "},"
      " 50);";
  const std::string button =
      "<button style='position:absolute;left:0;top:0;width:400px;height:300px' onclick=\"" + dialogs + "\">x</button>";
  other.Route("/frame.html", {.body = Page("<style>body{margin:0}</style>" + button)});
  const std::string ticking = "<script>window.ticks = 0; setInterval(function () { window.ticks++; }, 20);</script>";
  const struct {
    const char* from;
    std::string body;
  } cases[] = {
      {"page", ticking + "<style>body{margin:0}</style>" + button},
      {"frame", ticking + "<style>body{margin:0}</style><iframe src='" + other.Url("/frame.html") +
                    "' style='border:0;width:400px;height:300px'></iframe>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    const std::string path = std::string("/dialogs-") + c.from + ".html";
    ASSERT_TRUE(Load(path, c.body));
    if (std::string(c.from) == "frame") {
      ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", other.Url("/frame.html")); }));
    }
    reports.clear();
    recorder.events.clear();
    g_remove(OpenedPagesFile().c_str());
    ClickPage(*browser, 200, 150);
    ASSERT_TRUE(PumpUntil([&] { return !reports.empty(); })) << "the page waits on a dialog nobody sees";
    EXPECT_EQ(reports.front(), "confirm false, prompt null");
    EXPECT_TRUE(PumpUntil([&] { return reports.size() >= 2; })) << "the handed-off window stayed open";
    EXPECT_TRUE(recorder.Saw("before", target));
    // The page's timers go on.
    const int ticks = std::atoi(Evaluate(*browser, "String(window.ticks)").c_str());
    EXPECT_TRUE(PumpUntil([&] { return std::atoi(Evaluate(*browser, "String(window.ticks)").c_str()) > ticks + 5; }));
    // And it can be loaded again.
    const int loads = server.Count(path);
    recorder.events.clear();
    browser->Navigate(server.Url(path));
    EXPECT_TRUE(PumpUntil([&] { return recorder.Saw("complete", server.Url(path)); }));
    EXPECT_EQ(server.Count(path), loads + 1);
  }
}

TEST(InspectionSwitchTest, DeveloperExtrasOnlyWithTheSwitch) {
  struct Case {
    const char* value;  // nullptr: unset
    bool on;
  };
  for (const Case c : {Case{nullptr, false}, Case{"1", true}, Case{"0", false}, Case{"", false}}) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value) {
      g_setenv("KQV_INSPECT", c.value, TRUE);
    } else {
      g_unsetenv("KQV_INSPECT");
    }
    HostWindow host;
    ASSERT_TRUE(host.Create(nullptr));
    Recorder recorder;
    auto browser = host.Peer().CreateBrowser(1001, {0, 0, 400, 300}, recorder);
    WebKitSettings* settings = webkit_web_view_get_settings(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View());
    EXPECT_EQ(webkit_settings_get_enable_developer_extras(settings), c.on);
    browser.reset();
    host.DestroyWindow();
  }
  g_unsetenv("KQV_INSPECT");
}

TEST_F(ShownWindowTest, F12OpensTheInspectorOnlyWithTheSwitch) {
  // The browser of the fixture was made without the switch. Its engine runs
  // before keys are sent (a browser's view is made once start-up allows).
  ASSERT_TRUE(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View());
  browser->Navigate("about:blank");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", "about:blank"); }));
  const int without = VisibleToplevels();
  Xdotool("mousemove 300 300 click 1 key F12");
  PumpFor(std::chrono::milliseconds(1500));
  EXPECT_EQ(VisibleToplevels(), without) << "a window opened without the switch";

  g_setenv("KQV_INSPECT", "1", TRUE);
  browser = window.Peer().CreateBrowser(1002, {50, 50, 450, 350}, recorder);
  g_unsetenv("KQV_INSPECT");
  ASSERT_TRUE(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View());
  recorder.events.clear();
  browser->Navigate("about:blank");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Saw("complete", "about:blank"); }));
  Xdotool("mousemove 300 300 click 1 key F12");
  EXPECT_TRUE(PumpUntil([&] { return VisibleToplevels() > without; }, std::chrono::seconds(10)))
      << "no inspector window";
  // The inspector is a window of its own, not a part of the small page.
  GtkAllocation size;
  gtk_widget_get_allocation(GTK_WIDGET(dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View()), &size);
  EXPECT_EQ(size.width, 400);
  EXPECT_EQ(size.height, 300);
}

}  // namespace
}  // namespace kqvtest
