// The program's browser, created the program's own way, gets the stand-in
// control registered in this test's Wine prefix, and documents load through
// it: the events the real engine raises, in its order, and a document.
#include <gtest/gtest.h>

#include <winsock2.h>
// after winsock2.h
#include <windows.h>
// after windows.h
#include <ole2.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../LoopbackServer.h"
#include "Fetcher.h"
#include "PageScript.h"
#include "Text.h"
#include "PageServer.h"
#include "platform/win32/Win32Browser.h"
#include "ui/DocHostUIHandler.h"

namespace {

using standin_tests::Answer;
using standin_tests::OfEvent;
using standin_tests::PageServer;
using standin_tests::Report;
using wine_tests::LoopbackServer;

// The requests of a loopback server but the stand-in's reports.
std::vector<std::string> PageRequests(const LoopbackServer& server) {
  std::vector<std::string> pages;
  for (const std::string& line : server.Requests()) {
    if (line.find(" /standin/report?") == std::string::npos) pages.push_back(line);
  }
  return pages;
}

struct Recorder : ui::BrowserEvents {
  bool cancel = false;
  std::string cancelIf;            // cancels addresses holding this text
  std::vector<std::string> trace;  // every event with its address, in order
  std::vector<std::string> before;
  std::vector<std::string> navigated;
  std::vector<bool> topLevel;
  std::vector<std::string> completed;
  std::vector<std::string> order;  // "before", "navigated", "completed"
  void OnBeforeNavigate2(const std::string& url, bool& cancelIt) override {
    before.push_back(url);
    order.push_back("before");
    cancelIt = cancel || (!cancelIf.empty() && url.find(cancelIf) != std::string::npos);
    trace.push_back("before " + Path(url) + (cancelIt ? " cancelled" : ""));
  }
  void OnNavigateComplete2(const std::string& url, bool top) override {
    navigated.push_back(url);
    topLevel.push_back(top);
    order.push_back("navigated");
    trace.push_back(std::string(top ? "navigated " : "frame navigated ") + Path(url));
  }
  void OnDocumentComplete(const std::string& url) override {
    completed.push_back(url);
    order.push_back("completed");
    trace.push_back("completed " + Path(url));
  }
  static std::string Path(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t path = scheme == std::string::npos ? 0 : url.find('/', scheme + 3);
    return path == std::string::npos ? url : url.substr(path);
  }
};

template <typename Condition>
bool PumpUntil(Condition condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

// A top-level window to host the browser in.
class HostWindow {
 public:
  HostWindow() {
    m_hwnd = CreateWindowExW(0, L"STATIC", L"stand-in host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 300,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostWindow() {
    if (m_hwnd) DestroyWindow(m_hwnd);
  }
  HWND Handle() const { return m_hwnd; }

 private:
  HWND m_hwnd = nullptr;
};

// Serves one page, whatever is asked, on a thread of its own.
class OnePageServer {
 public:
  explicit OnePageServer(std::string body) : m_body(std::move(body)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = static_cast<SOCKET>(wine_tests::ListenOnLoopback(4, &m_port));
    m_thread = std::thread([this] { Serve(); });
  }
  ~OnePageServer() {
    m_stop = true;
    m_thread.join();
    closesocket(m_listener);
    WSACleanup();
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

 private:
  void Serve() {
    while (!m_stop) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(m_listener, &ready);
      timeval wait{0, 100000};
      if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
      SOCKET client = accept(m_listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string request;
      char buffer[2048];
      int got;
      while (request.find("\r\n\r\n") == std::string::npos && (got = recv(client, buffer, sizeof buffer, 0)) > 0) {
        request.append(buffer, static_cast<size_t>(got));
      }
      const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                 std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      closesocket(client);
    }
  }

  std::string m_body;
  SOCKET m_listener = INVALID_SOCKET;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// The file name of the module whose code the object's first method is.
std::wstring ModuleOf(IUnknown* object) {
  void* firstMethod = (*reinterpret_cast<void***>(object))[0];
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(firstMethod), &module)) {
    return {};
  }
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring name(path);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
  return name;
}

TEST(StandIn, TheProgramsCreationGetsTheStandIn) {
  HostWindow host;
  ASSERT_TRUE(host.Handle());
  Recorder events;
  auto browser = ui::win32::Win32Browser::Create(host.Handle(), 1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
  ASSERT_TRUE(browser) << "the control was not created";
  ASSERT_TRUE(browser->Control());
  EXPECT_EQ(ModuleOf(browser->Control()), L"kqv_standin.dll");
  // Sited and activated in place: the control's window inside the host's.
  IOleInPlaceObject* inPlace = nullptr;
  ASSERT_EQ(browser->Control()->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
  HWND view = nullptr;
  EXPECT_EQ(inPlace->GetWindow(&view), S_OK);
  inPlace->Release();
  EXPECT_TRUE(view && IsChild(browser->Handle(), view));
  EXPECT_FALSE(browser->HasDocument());
  // At rest before any page, as the launcher expects before its first one.
  EXPECT_EQ(browser->ReadyState(), 4);
  browser->DestroyWindow();
}

TEST(StandIn, NavigationLoadsADocumentUnlessCancelled) {
  const struct {
    bool cancel;
    bool loads;
  } cases[] = {{false, true}, {true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cancel ? "cancelled" : "let through");
    LoopbackServer server;
    HostWindow host;
    ASSERT_TRUE(host.Handle());
    Recorder events;
    events.cancel = c.cancel;
    auto browser = ui::win32::Win32Browser::Create(host.Handle(), 1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
    ASSERT_TRUE(browser);
    browser->SetSilent(true);
    const std::string url = server.Url("/login.php?server_id=S12");
    browser->Navigate(url);
    ASSERT_EQ(events.before, std::vector<std::string>{url});
    // A loading page completes within seconds; a cancelled one must not be
    // requested at all in that time.
    PumpUntil([&] { return !events.completed.empty(); }, c.cancel ? 3000 : 15000);
    const auto requests = PageRequests(server);
    if (c.loads) {
      EXPECT_EQ(requests, std::vector<std::string>{"GET /login.php?server_id=S12 HTTP/1.1"});
      EXPECT_EQ(events.order, (std::vector<std::string>{"before", "navigated", "completed"}));
      EXPECT_EQ(events.navigated, std::vector<std::string>{url});
      EXPECT_EQ(events.topLevel, std::vector<bool>{true});
      EXPECT_EQ(events.completed, std::vector<std::string>{url});
      EXPECT_EQ(browser->ReadyState(), 4);
      EXPECT_TRUE(browser->HasDocument());
      EXPECT_EQ(browser->Title(), "");  // the server's page has no title
    } else {
      EXPECT_TRUE(requests.empty());
      EXPECT_EQ(events.order, std::vector<std::string>{"before"});
      EXPECT_FALSE(browser->HasDocument());
    }
    browser->DestroyWindow();
  }
}

// The document's title is the page's own, as the game window's caption takes it.
TEST(StandIn, TheDocumentHasThePagesTitle) {
  const struct {
    const char* page;
    const char* title;
  } cases[] = {
      {"<html><head><TITLE>\xe7\xa5\x9e\xe9\xad\x94 S12</TITLE></head><body>game</body></html>",
       "\xe7\xa5\x9e\xe9\xad\x94 S12"},
      {"<html><body>no title</body></html>", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    OnePageServer server(c.page);
    HostWindow host;
    Recorder events;
    auto browser = ui::win32::Win32Browser::Create(host.Handle(), 1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
    ASSERT_TRUE(browser);
    browser->Navigate(server.Url("/game.php"));
    ASSERT_TRUE(PumpUntil([&] { return !events.completed.empty(); }, 15000)) << "no DocumentComplete";
    EXPECT_EQ(browser->Title(), c.title);
    browser->DestroyWindow();
  }
}

std::vector<Report> WaitReports(const PageServer& server, const std::string& event, size_t count);

// A portable host handler that counts its references and takes one key.
class KeyHandler : public ui::DocHostUIHandler {
 public:
  long references = 1;
  std::vector<unsigned> keys;  // what reached TranslateAccelerator
  static constexpr unsigned kTaken = VK_F5;

  ui::HResult QueryInterface(const ui::Guid& riid, void** ppv) override {
    if (riid == ui::kIidUnknown || riid == ui::kIidDocHostUIHandler) {
      *ppv = this;
      AddRef();
      return ui::kSOk;
    }
    *ppv = nullptr;
    return ui::kENoInterface;
  }
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t Release() override { return static_cast<std::uint32_t>(--references); }  // owned by the test
  ui::HResult ShowContextMenu(std::uint32_t, const ui::Point*, void*, void*) override { return ui::kSFalse; }
  ui::HResult GetHostInfo(ui::DocHostUIInfo*) override { return ui::kENotImpl; }
  ui::HResult ShowUI(std::uint32_t, void*, void*, void*, void*) override { return ui::kENotImpl; }
  ui::HResult HideUI() override { return ui::kENotImpl; }
  ui::HResult UpdateUI() override { return ui::kENotImpl; }
  ui::HResult EnableModeless(bool) override { return ui::kENotImpl; }
  ui::HResult OnDocWindowActivate(bool) override { return ui::kENotImpl; }
  ui::HResult OnFrameWindowActivate(bool) override { return ui::kENotImpl; }
  ui::HResult ResizeBorder(const ui::Rect*, void*, bool) override { return ui::kENotImpl; }
  ui::HResult TranslateAccelerator(const ui::Message* message, const ui::Guid*, std::uint32_t) override {
    if (!message || message->kind != ui::Message::Kind::KeyDown) return ui::kSFalse;
    keys.push_back(message->key);
    return message->key == kTaken ? ui::kSOk : ui::kSFalse;
  }
  ui::HResult GetOptionKeyPath(char16_t**, std::uint32_t) override { return ui::kENotImpl; }
  ui::HResult GetDropTarget(void*, void**) override { return ui::kENotImpl; }
  ui::HResult GetExternal(void**) override { return ui::kENotImpl; }
  ui::HResult TranslateUrl(std::uint32_t, const char16_t*, char16_t**) override { return ui::kENotImpl; }
  ui::HResult FilterDataObject(void*, void**) override { return ui::kENotImpl; }
};

// With a document, the program's handler reaches it through ICustomDoc, and
// the control hands it the keys of its window before using them itself.
TEST(StandIn, ADocumentTakesTheHostHandlerAndItsKeys) {
  PageServer server;
  server.Serve("/game.php", {200, "", "<title>Game</title>"});
  HostWindow host;
  ASSERT_TRUE(host.Handle());
  Recorder events;
  auto browser = ui::win32::Win32Browser::Create(host.Handle(), 1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
  ASSERT_TRUE(browser);
  KeyHandler handler;
  EXPECT_FALSE(browser->SetUIHandler(&handler));  // no document yet
  EXPECT_EQ(handler.references, 1);
  browser->Navigate(server.Url("/game.php"));
  ASSERT_TRUE(PumpUntil([&] { return !events.completed.empty(); }, 15000)) << "no DocumentComplete";
  ASSERT_TRUE(browser->SetUIHandler(&handler));
  EXPECT_EQ(handler.references, 2);  // the document's adapter holds it

  IOleInPlaceObject* inPlace = nullptr;
  ASSERT_EQ(browser->Control()->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
  HWND view = nullptr;
  inPlace->GetWindow(&view);
  inPlace->Release();
  ASSERT_TRUE(view);
  const struct {
    UINT message;
    WPARAM key;
    bool taken;
  } cases[] = {
      {WM_KEYDOWN, KeyHandler::kTaken, true}, {WM_KEYDOWN, VK_F6, false}, {WM_KEYUP, KeyHandler::kTaken, false}};
  for (const auto& c : cases) {
    MSG msg{};
    msg.hwnd = view;
    msg.message = c.message;
    msg.wParam = c.key;
    EXPECT_EQ(ui::win32::Win32Browser::TranslateAccelerator(msg), c.taken) << c.message << " " << c.key;
  }
  EXPECT_EQ(handler.keys, (std::vector<unsigned>{KeyHandler::kTaken, VK_F6}));
  // A key of a window outside the browser never reaches the control.
  MSG outside{};
  outside.hwnd = host.Handle();
  outside.message = WM_KEYDOWN;
  outside.wParam = KeyHandler::kTaken;
  EXPECT_FALSE(ui::win32::Win32Browser::TranslateAccelerator(outside));
  EXPECT_EQ(handler.keys.size(), 2u);
  // Each key-down the host was asked about is reported with its answer.
  std::vector<std::string> reported;
  for (const Report& key : OfEvent(WaitReports(server, "key", 2), "key")) {
    reported.push_back(key.at("vk") + " " + key.at("hr"));
  }
  EXPECT_EQ(reported, (std::vector<std::string>{"116 0x0", "117 0x1"}));

  browser->DestroyWindow();
  EXPECT_EQ(handler.references, 1);  // the document went with the control
}

// --- Page scripts -------------------------------------------------------------

std::string Page(const std::string& script, const std::string& title = "") {
  return "<html><head><title>" + title + "</title></head><body>\n<script type=\"text/x-kqv-standin\">\n" + script +
         "\n</script></body></html>";
}

HWND ViewOf(ui::win32::Win32Browser& browser) {
  IOleInPlaceObject* inPlace = nullptr;
  HWND view = nullptr;
  if (SUCCEEDED(browser.Control()->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
    inPlace->GetWindow(&view);
    inPlace->Release();
  }
  return view;
}

void Click(HWND view, int x, int y) {
  PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// A browser in a host window, with its events recorded.
struct Loaded {
  HostWindow host;
  Recorder events;
  std::unique_ptr<ui::win32::Win32Browser> browser =
      ui::win32::Win32Browser::Create(host.Handle(), 1001, ui::Rect::FromXYWH(0, 0, 400, 300), events);
  bool WaitCompleted(size_t count) {
    return PumpUntil([&] { return events.completed.size() >= count; }, 15000);
  }
  ~Loaded() {
    if (browser) browser->DestroyWindow();
  }
};

// Waits for the reports the server should have by now (they come from a
// thread of their own).
std::vector<Report> WaitReports(const PageServer& server, const std::string& event, size_t count) {
  PumpUntil([&] { return OfEvent(server.Reports(), event).size() >= count; }, 10000);
  return server.Reports();
}

TEST(StandIn, ScriptLinesAreReadOrReported) {
  const struct {
    const char* line;
    bool follows;
  } cases[] = {
      {"title Qelunar S12", true},
      {"frame /f.html", true},
      {"call getGsName \"\xe5\xae\xa2\xe6\x9c\x8d 01\" two", true},
      {"read getAppVersion", true},
      {"after 500 navigate /next", true},
      {"link 1 2 3 4 /x", true},
      {"submit 1 2 3 4 /do a=1 b=2", true},
      {"poll 500 /vip/messages getNewMsg \xe6\xb6\x88\xe6\x81\xaf", true},
      {"report /elsewhere", true},
      {"# a comment", true},
      {"jump /x", false},
      {"read", false},
      {"after 500 go /x", false},
      {"link 1 2 three 4 /x", false},
      {"submit 1 2 3 4 /do novalue", false},
      {"poll 0 /m f p", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const standin::PageScript page = standin::ReadPage(Page(c.line));
    EXPECT_EQ(page.errors.size(), c.follows ? 0u : 1u);
  }
  const standin::PageScript page = standin::ReadPage(
      "<TITLE>own</TITLE><script type='text/x-kqv-standin'>call f \"a \\\"b\\\"\" c\r\n"
      "title \"new one\"</script><script>call no</script>");
  ASSERT_EQ(page.instructions.size(), 2u);
  EXPECT_EQ(page.instructions[0].text, "f");
  EXPECT_EQ(page.instructions[0].args, (std::vector<std::string>{"a \"b\"", "c"}));
  EXPECT_EQ(page.title, "new one");
}

// A page's frames each raise their own events, with an object of their own,
// and complete before the page does; every event is reported.
TEST(StandIn, FramesCompleteBeforeThePage) {
  PageServer server;
  server.Serve("/top.html", {200, "", Page("frame /one.html\nframe two.html", "Top")});
  server.Serve("/one.html", {200, "", Page("title One")});
  server.Serve("/two.html", {200, "", "<title>Two</title>"});
  Loaded run;
  ASSERT_TRUE(run.browser);
  run.browser->Navigate(server.Url("/top.html"));
  ASSERT_TRUE(PumpUntil([&] { return run.events.completed.size() >= 3; }, 15000));
  PumpUntil([&] { return false; }, 0);
  EXPECT_EQ(run.events.trace,
            (std::vector<std::string>{"before /top.html", "navigated /top.html", "before /one.html",
                                      "frame navigated /one.html", "completed /one.html", "before /two.html",
                                      "frame navigated /two.html", "completed /two.html", "completed /top.html"}));
  EXPECT_EQ(run.browser->Title(), "Top");
  EXPECT_EQ(run.browser->ReadyState(), 4);
  const auto reports = WaitReports(server, "complete", 3);
  std::vector<std::string> seen;
  for (const Report& report : reports) {
    if (report.at("event") == "hostinfo") continue;  // no host handler was given
    seen.push_back(report.at("event") + " " + Recorder::Path(report.at("url")) + " " +
                   (report.count("frame") ? report.at("frame") : "") +
                   (report.count("title") ? " " + report.at("title") : ""));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"before /top.html 0", "navigated /top.html 0", "before /top.html 1",
                                            "navigated /one.html 1", "complete /one.html 1 One", "before /top.html 1",
                                            "navigated /two.html 1", "complete /two.html 1 Two",
                                            "complete /top.html 0 Top"}));
}

// Each redirect is a navigation the host sees and may cancel; a cancelled
// one is never requested. An error status still gives a document.
TEST(StandIn, RedirectsAreNavigationsOfTheirOwn) {
  const struct {
    const char* name;
    const char* cancelIf;
    std::vector<std::string> trace;
    std::vector<std::string> requests;
    const char* title;
  } cases[] = {
      {"followed",
       "",
       {"before /start", "before /middle", "before /end?x=1", "navigated /end?x=1", "completed /end?x=1"},
       {"/start", "/middle", "/end?x=1"},
       "End"},
      {"cancelled", "/middle", {"before /start", "before /middle cancelled"}, {"/start"}, ""},
      {"error status", "", {"before /missing", "navigated /missing", "completed /missing"}, {"/missing"}, "Gone"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PageServer server;
    server.Serve("/start", {302, "Location: " + server.Url("/middle") + "\r\n", ""});
    server.Serve("/middle", {301, "Location: end?x=1\r\n", ""});
    server.Serve("/end", {200, "", "<title>End</title>"});
    server.Serve("/missing", {404, "", "<title>Gone</title>"});
    Loaded run;
    ASSERT_TRUE(run.browser);
    run.events.cancelIf = c.cancelIf;
    run.browser->Navigate(server.Url(std::string(c.name) == "error status" ? "/missing" : "/start"));
    const bool loads = std::string(c.cancelIf).empty();
    // A cancelled chain ends with its report: then nothing more may come.
    if (loads) {
      ASSERT_TRUE(run.WaitCompleted(1)) << testing::PrintToString(run.events.trace) << " "
                                        << testing::PrintToString(server.Paths());
    } else {
      ASSERT_TRUE(PumpUntil([&] { return OfEvent(server.Reports(), "before").size() >= 2; }, 15000));
    }
    EXPECT_EQ(run.events.trace, c.trace);
    EXPECT_EQ(server.Paths(), c.requests);
    EXPECT_EQ(run.browser->Title(), c.title);
    EXPECT_EQ(run.browser->ReadyState(), 4);  // loaded, or back at rest
    // Reports come from a thread of their own: one for each BeforeNavigate2.
    const auto before = OfEvent(WaitReports(server, "before", c.trace.size() - (loads ? 2 : 0)), "before");
    ASSERT_EQ(before.size(), c.trace.size() - (loads ? 2 : 0));
    EXPECT_EQ(before.back().at("cancel"), loads ? "0" : "1");
  }
}

// A host's method may end the browser while the page's script runs: the
// call is still reported and nothing more of the script runs.
TEST(StandIn, AScriptEndsWithTheBrowserItsCallEnded) {
  PageServer server;
  server.Serve("/page", {200, "", Page("call bye\ncall after")});
  Loaded run;
  ASSERT_TRUE(run.browser);
  std::vector<std::string> ran;
  ui::HostChoices choices;
  choices.external["bye"] = [&](const std::vector<std::string>&) {
    ran.push_back("bye");
    run.browser->DestroyWindow();
    return std::string("gone");
  };
  choices.external["after"] = [&](const std::vector<std::string>&) {
    ran.push_back("after");
    return std::string();
  };
  ASSERT_TRUE(run.browser->InstallHostChoices(choices));
  run.browser->Navigate(server.Url("/page"));
  ASSERT_TRUE(run.WaitCompleted(1));
  const auto calls = OfEvent(WaitReports(server, "call", 1), "call");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].at("name"), "bye");
  EXPECT_EQ(calls[0].at("answer"), "gone");
  EXPECT_EQ(ran, std::vector<std::string>{"bye"});
}

// A delayed navigation belongs to its page: once the page has gone, it
// never comes. (The first delay is far longer than the second page's load,
// and shorter than the second page's own delay, which shows it would have
// come by then.)
TEST(StandIn, ADelayedNavigationGoesWithItsPage) {
  PageServer server;
  server.Serve("/first", {200, "", Page("after 1500 navigate /late")});
  server.Serve("/second", {200, "", Page("after 1800 navigate /third")});
  server.Serve("/third", {200, "", "<title>Third</title>"});
  server.Serve("/late", {200, "", "<title>Late</title>"});
  Loaded run;
  ASSERT_TRUE(run.browser);
  run.browser->Navigate(server.Url("/first"));
  ASSERT_TRUE(run.WaitCompleted(1));
  run.browser->Navigate(server.Url("/second"));
  ASSERT_TRUE(run.WaitCompleted(3)) << "the second page's own delay never came";
  EXPECT_EQ(server.Paths(), (std::vector<std::string>{"/first", "/second", "/third"}));
  EXPECT_EQ(run.browser->Title(), "Third");
}

// A left click inside a link's or a button's rectangle navigates the page
// or frame that holds it; a submit posts its fields.
TEST(StandIn, ClicksFollowLinksAndSubmitForms) {
  const std::string script =
      "link 200 10 50 50 /other?via=link\n"
      "submit 10 10 100 40 /dologin username=wine \"password=two words\" \xe5\x90\x8d=\xe5\x80\xbc";
  const struct {
    const char* name;
    bool inFrame;
    POINT at;
    std::vector<std::string> trace;  // after the page has loaded
    const char* method;
    const char* body;
  } cases[] = {
      {"submit",
       false,
       {20, 20},
       {"before /dologin", "before /game", "navigated /game", "completed /game"},
       "POST",
       "username=wine&password=two+words&%E5%90%8D=%E5%80%BC"},
      {"link",
       false,
       {210, 20},
       {"before /other?via=link", "navigated /other?via=link", "completed /other?via=link"},
       "GET",
       ""},
      {"submit in a frame",
       true,
       {20, 20},
       {"before /dologin", "before /game", "frame navigated /game", "completed /game"},
       "POST",
       "username=wine&password=two+words&%E5%90%8D=%E5%80%BC"},
      {"outside", false, {150, 150}, {}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PageServer server;
    server.Serve("/page", {200, "", Page(c.inFrame ? "frame /form" : script)});
    server.Serve("/form", {200, "", Page(script)});
    server.Serve("/dologin", {302, "Location: /game\r\n", ""});
    server.Serve("/game", {200, "", "<title>Game</title>"});
    server.Serve("/other", {200, "", "<title>Other</title>"});
    Loaded run;
    ASSERT_TRUE(run.browser);
    run.browser->Navigate(server.Url("/page"));
    ASSERT_TRUE(run.WaitCompleted(c.inFrame ? 2 : 1));
    const size_t loaded = run.events.trace.size();
    const size_t requested = server.Requests().size();
    HWND view = ViewOf(*run.browser);
    ASSERT_TRUE(view);
    Click(view, c.at.x, c.at.y);
    if (c.trace.empty()) {
      // Nothing to wait for but the click itself: a second, sure click
      // behind it shows the first was handled.
      Click(view, 210, 20);
      ASSERT_TRUE(run.WaitCompleted(2));
      EXPECT_EQ(server.Paths().at(requested), "/other?via=link");
      continue;
    }
    ASSERT_TRUE(run.WaitCompleted((c.inFrame ? 2 : 1) + 1));
    EXPECT_EQ(std::vector<std::string>(run.events.trace.begin() + static_cast<long>(loaded), run.events.trace.end()),
              c.trace);
    const auto requests = server.Requests();
    ASSERT_GT(requests.size(), requested);
    EXPECT_EQ(requests[requested].method, c.method);
    EXPECT_EQ(requests[requested].body, c.body);
    if (c.inFrame) {
      EXPECT_EQ(run.browser->Title(), "");  // the page itself stays
    }
  }
}

// window.external through the program's own host handler: a property read
// runs nothing, a call runs the method once with its arguments and its
// answer is reported; no external object, and nothing runs.
TEST(StandIn, ExternalReadsRunNothingAndCallsRunOnce) {
  const struct {
    const char* name;
    bool choices;
    std::vector<std::string> reads;  // hr, vt of: read getNewMsg, read nothing
    std::vector<std::string> calls;  // hr|answer of: call getNewMsg ..., call GETNEWMSG
    std::vector<std::string> ran;
  } cases[] = {
      {"host handler",
       true,
       {"0x80020003 0", "0x80020006 0"},
       {"0x0 ran:\xe6\xb6\x88\xe6\x81\xaf"
        "1|two words",
        "0x0 ran:x"},
       {"\xe6\xb6\x88\xe6\x81\xaf"
        "1|two words",
        "x"}},
      {"no handler", false, {"0x80004002 0", "0x80004002 0"}, {"0x80004002 -", "0x80004002 -"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PageServer server;
    server.Serve("/chat", {200, "",
                           Page("read getNewMsg\nread nothing\n"
                                "call getNewMsg \xe6\xb6\x88\xe6\x81\xaf"
                                "1 \"two words\"\n"
                                "call GETNEWMSG x")});
    Loaded run;
    ASSERT_TRUE(run.browser);
    std::vector<std::string> ran;
    if (c.choices) {
      ui::HostChoices choices;
      choices.external["getNewMsg"] = [&ran](const std::vector<std::string>& args) {
        std::string joined;
        for (const std::string& arg : args) joined += (joined.empty() ? "" : "|") + arg;
        ran.push_back(joined);
        return "ran:" + joined;
      };
      ASSERT_TRUE(run.browser->InstallHostChoices(choices));
    }
    run.browser->Navigate(server.Url("/chat"));
    ASSERT_TRUE(run.WaitCompleted(1));
    const auto reports = WaitReports(server, "call", 2);
    std::vector<std::string> reads, calls;
    for (const Report& report : OfEvent(reports, "read")) reads.push_back(report.at("hr") + " " + report.at("vt"));
    for (const Report& report : OfEvent(reports, "call")) {
      calls.push_back(report.at("hr") + " " + (report.count("answer") ? report.at("answer") : "-"));
    }
    EXPECT_EQ(reads, c.reads);
    if (c.choices) {
      EXPECT_EQ(calls,
                (std::vector<std::string>{c.calls[0].substr(0, c.calls[0].find('|')) + "|two words", c.calls[1]}));
    } else {
      EXPECT_EQ(calls, c.calls);
    }
    EXPECT_EQ(ran, c.ran);
    // The handler's host information, asked as the document was made.
    std::vector<std::string> hostInfo;
    for (const Report& info : OfEvent(reports, "hostinfo")) hostInfo.push_back(info.at("flags") + " " + info.at("hr"));
    EXPECT_EQ(hostInfo, c.choices ? std::vector<std::string>{"12 0x0"} : std::vector<std::string>{});
    ASSERT_EQ(OfEvent(reports, "call").size(), 2u);
    EXPECT_EQ(OfEvent(reports, "call")[0].at("args"),
              "\xe6\xb6\x88\xe6\x81\xaf"
              "1|two words");
  }
}

bool g_menuSeen = false;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu && IsWindowVisible(menu)) {
    g_menuSeen = true;
    EndMenu();
  }
}

// A right click asks the host's ShowContextMenu; the control's own menu
// comes only when the host leaves it to the control.
TEST(StandIn, ContextMenuFollowsTheHostsAnswer) {
  const struct {
    bool hostMenu;  // HostChoices::contextMenu: the browser's own menu
    const char* hr;
    const char* shown;
  } cases[] = {{true, "0x1", "1"}, {false, "0x0", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hr);
    PageServer server;
    server.Serve("/game", {200, "", "<title>Game</title>"});
    Loaded run;
    ASSERT_TRUE(run.browser);
    ui::HostChoices choices;
    choices.contextMenu = c.hostMenu;
    ASSERT_TRUE(run.browser->InstallHostChoices(choices));
    run.browser->Navigate(server.Url("/game"));
    ASSERT_TRUE(run.WaitCompleted(1));
    HWND view = ViewOf(*run.browser);
    g_menuSeen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, CloseMenu);
    PostMessageW(view, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 40));
    PostMessageW(view, WM_RBUTTONUP, 0, MAKELPARAM(30, 40));
    const auto reports = WaitReports(server, "contextmenu", 1);
    if (c.hostMenu) PumpUntil([&] { return g_menuSeen; }, 5000);
    KillTimer(nullptr, timer);
    const auto menus = OfEvent(reports, "contextmenu");
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].at("hr"), c.hr);
    EXPECT_EQ(menus[0].at("shown"), c.shown);
    EXPECT_EQ(g_menuSeen, c.hostMenu);
  }
}

// After DocumentComplete: a poll calls the method once per message it has
// not seen, and `after` navigates the page.
TEST(StandIn, PollsAndDelayedNavigations) {
  PageServer server;
  server.Serve("/chat", {200, "", Page("poll 50 /count getNewMsg m\nafter 100 navigate /next")});
  server.Serve("/count", {200, "", "2"});
  server.Serve("/next", {200, "", Page("poll 50 /count getNewMsg n")});
  Loaded run;
  ASSERT_TRUE(run.browser);
  std::vector<std::string> ran;
  ui::HostChoices choices;
  choices.external["getNewMsg"] = [&ran](const std::vector<std::string>& args) {
    ran.push_back(args.empty() ? "" : args[0]);
    return std::string();
  };
  ASSERT_TRUE(run.browser->InstallHostChoices(choices));
  run.browser->Navigate(server.Url("/chat"));
  ASSERT_TRUE(run.WaitCompleted(2)) << "no navigation after the delay";
  EXPECT_EQ(run.events.trace[3], "before /next");
  // The next page's poll starts counting afresh; a few more polls of it
  // show that nothing is called twice.
  auto polls = [&] {
    size_t count = 0;
    for (const std::string& path : server.Paths()) count += path == "/count";
    return count;
  };
  const size_t now = polls();
  ASSERT_TRUE(PumpUntil([&] { return polls() >= now + 4 && ran.size() >= 4; }, 10000));
  EXPECT_EQ(ran, (std::vector<std::string>{"m1", "m2", "n1", "n2"}));
}

// Every source address in the URL cache that names this server.
std::vector<std::string> CachedFrom(const PageServer& server) {
  const std::string origin = server.Url("");
  std::vector<std::string> found;
  std::vector<char> buffer(1 << 16);
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  DWORD size = static_cast<DWORD>(buffer.size());
  HANDLE search = FindFirstUrlCacheEntryA(nullptr, entry, &size);
  if (!search) return found;
  do {
    const std::string source = entry->lpszSourceUrlName ? entry->lpszSourceUrlName : "";
    if (source.find(origin) != std::string::npos) found.push_back(source.substr(source.find(origin) + origin.size()));
    size = static_cast<DWORD>(buffer.size());
  } while (FindNextUrlCacheEntryA(search, entry, &size));
  FindCloseUrlCache(search);
  return found;
}

// Pages and their sub-resources go through WinINet's URL cache and cookies,
// as the real control's do, so cleaning the cache has something to remove
// and something to keep; the stand-in's own reports and polls stay out.
TEST(StandIn, PagesGoThroughTheUrlCacheAndCookies) {
  PageServer server;
  server.Serve("/game", {200, "Set-Cookie: kqv_session=abc; Path=/; Max-Age=3600\r\n",
                         Page("fetch /asset.js\npoll 50 /count getNewMsg m")});
  server.Serve("/asset.js", {200, "Cache-Control: max-age=3600\r\n", "var asset = 1;"});
  server.Serve("/count", {200, "", "0"});
  Loaded run;
  ASSERT_TRUE(run.browser);
  run.browser->Navigate(server.Url("/game"));
  ASSERT_TRUE(run.WaitCompleted(1));
  ASSERT_TRUE(PumpUntil(
      [&] {
        const auto paths = server.Paths();
        return std::count(paths.begin(), paths.end(), "/count") >= 2 && server.Reports().size() >= 3;
      },
      10000));
  const auto paths = server.Paths();
  EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 2),
            (std::vector<std::string>{"/game", "/asset.js"}));
  const auto cached = CachedFrom(server);
  EXPECT_NE(std::find(cached.begin(), cached.end(), "/asset.js"), cached.end()) << testing::PrintToString(cached);
  for (const std::string& entry : cached) {
    EXPECT_EQ(entry.find("/standin/report"), std::string::npos) << entry;
    EXPECT_EQ(entry.find("/count"), std::string::npos) << entry;
  }
  char cookie[512] = {};
  DWORD size = sizeof cookie;
  ASSERT_TRUE(InternetGetCookieA(server.Url("/").c_str(), nullptr, cookie, &size));
  EXPECT_NE(std::string(cookie).find("kqv_session=abc"), std::string::npos) << cookie;
}

// A fetch under way ends with Stop and with the control itself: its
// connection is closed, nothing completes, and the module is left free to
// unload.
TEST(StandIn, StopAndTeardownEndAFetchUnderWay) {
  using CanUnload = HRESULT(WINAPI*)();
  for (const bool teardown : {false, true}) {
    SCOPED_TRACE(teardown ? "teardown" : "Stop");
    PageServer server;
    server.Stall("/slow");
    Loaded run;
    ASSERT_TRUE(run.browser);
    auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kqv_standin.dll"), "DllCanUnloadNow")));
    ASSERT_TRUE(canUnload);
    run.browser->Navigate(server.Url("/slow"));
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 10000));
    if (teardown) {
      run.browser->DestroyWindow();
      run.browser.reset();
    } else {
      EXPECT_EQ(run.browser->ReadyState(), 1);  // loading
      run.browser->Stop();
      EXPECT_EQ(run.browser->ReadyState(), 4);  // at rest again
    }
    EXPECT_TRUE(PumpUntil([&] { return server.StalledClosed() == 1; }, 10000)) << "the connection stays open";
    EXPECT_TRUE(run.events.completed.empty());
    if (teardown) {
      EXPECT_TRUE(PumpUntil([&] { return canUnload() == S_OK; }, 10000)) << "a module reference is left";
    }
  }
}

// --- The stand-in platform's own pages ------------------------------------------

// The stand-in platform this run's fixture started (KQV_SANDBOX_PORT_FILE, a
// Unix path; Wine shows / as drive Z:), or empty.
std::string Sandbox() {
  const char* file = std::getenv("KQV_SANDBOX_PORT_FILE");
  if (!file) return {};
  std::ifstream in(std::string("Z:") + file);
  int port = 0;
  in >> port;
  return port ? "http://127.0.0.1:" + std::to_string(port) : std::string();
}

// A test hook of the platform, past the cache and the cookies.
std::string Hook(const std::string& path) {
  standin::FetchRequest request;
  request.url = Sandbox() + path;
  request.throughCache = false;
  return standin::Fetch().Run(request).body;
}

// The request log's entries (one JSON object a line) as the value of key:
// the sandbox writes it with json.dumps, `"key": "value"`.
std::vector<std::string> LogValues(const std::string& log, const std::string& key, const std::string& path) {
  std::vector<std::string> values;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    start = end + 1;
    if (line.find("\"path\": \"" + path + "\"") == std::string::npos) continue;
    const std::string marker = "\"" + key + "\": \"";
    const size_t at = line.find(marker);
    if (at == std::string::npos) continue;
    values.push_back(line.substr(at + marker.size(), line.find('"', at + marker.size()) - at - marker.size()));
  }
  return values;
}

std::vector<Report> SandboxReports() {
  std::vector<Report> reports;
  for (const std::string& target : LogValues(Hook("/__log"), "target", "/standin/report")) {
    reports.push_back(standin_tests::ParseQuery(target.substr(target.find('?') + 1)));
  }
  std::stable_sort(reports.begin(), reports.end(),
                   [](const Report& a, const Report& b) { return std::stoi(a.at("seq")) < std::stoi(b.at("seq")); });
  return reports;
}

// The login page's button, clicked where the page lays it out, posts what
// the form sends and leads to the game entry, which the host cancels as the
// launcher does: the platform never sees it. In a frame too.
TEST(StandInOnThePlatform, TheLoginButtonLeadsToTheGameEntry) {
  if (Sandbox().empty()) GTEST_SKIP() << "no stand-in platform (KQV_SANDBOX_PORT_FILE)";
  for (const char* mode : {"normal", "iframe"}) {
    SCOPED_TRACE(mode);
    Hook("/__reset");
    Hook(std::string("/__mode?login=") + mode);
    Loaded run;
    ASSERT_TRUE(run.browser);
    run.events.cancelIf = "/game/login.php";
    run.browser->Navigate(Sandbox() + "/mini/login.html");
    const bool framed = std::string(mode) == "iframe";
    ASSERT_TRUE(run.WaitCompleted(framed ? 2 : 1));
    Click(ViewOf(*run.browser), 328 + 120, 280 + 20);  // the middle of LAYOUT["submit"]
    ASSERT_TRUE(PumpUntil(
        [&] {
          return !run.events.before.empty() && run.events.before.back().find("/game/login.php") != std::string::npos;
        },
        15000));
    const std::string log = Hook("/__log");
    EXPECT_EQ(LogValues(log, "body", "/mini/dologin"), std::vector<std::string>{"username=wine&password=wine"});
    EXPECT_EQ(LogValues(log, "method", "/mini/dologin"), std::vector<std::string>{"POST"});
    EXPECT_TRUE(LogValues(log, "method", "/game/login.php").empty()) << "the cancelled entry reached the platform";
    EXPECT_EQ(run.events.before.back().find(Sandbox() + "/game/login.php?uid=wine&server_id=S12&"), 0u);
    EXPECT_EQ(run.events.topLevel.back(), !framed);  // the frame's form navigates the frame
  }
}

// The game and chat pages reach the program's window.external as their
// JavaScript does; with externals=read they only read, and nothing runs.
TEST(StandInOnThePlatform, GameAndChatPagesReachWindowExternal) {
  if (Sandbox().empty()) GTEST_SKIP() << "no stand-in platform (KQV_SANDBOX_PORT_FILE)";
  const std::string contact =
      "\xe5\xae\xa2\xe6\x9c\x8d"
      "01";
  const std::string message = "\xe6\xb6\x88\xe6\x81\xaf";
  const struct {
    const char* externals;
    std::vector<std::string> ran;
  } cases[] = {
      {"normal",
       {"getAppVersion()", "getGsName(" + contact + ")", "getNewMsg(" + message + "1)", "getNewMsg(" + message + "2)"}},
      {"read", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.externals);
    Hook("/__reset");
    Hook(std::string("/__mode?vip_messages=2&externals=") + c.externals);
    // A signed game entry, as the login's redirect gives it.
    standin::FetchRequest login;
    login.url = Sandbox() + "/mini/dologin?username=wine&password=wine";
    login.throughCache = false;
    const std::string entry = standin::Fetch().Run(login).location;
    ASSERT_FALSE(entry.empty());

    std::vector<std::string> ran;
    auto method = [&ran](const std::string& name, const std::string& answer) {
      return [&ran, name, answer](const std::vector<std::string>& args) {
        ran.push_back(name + "(" + (args.empty() ? "" : args[0]) + ")");
        return answer;
      };
    };
    Loaded game, chat;
    ASSERT_TRUE(game.browser && chat.browser);
    ui::HostChoices gameChoices, chatChoices;
    gameChoices.external["getAppVersion"] = method("getAppVersion", "1.0.0.1");
    chatChoices.external["getGsName"] = method("getGsName", "");
    chatChoices.external["getNewMsg"] = method("getNewMsg", "");
    ASSERT_TRUE(game.browser->InstallHostChoices(gameChoices));
    ASSERT_TRUE(chat.browser->InstallHostChoices(chatChoices));
    game.browser->Navigate(entry);
    ASSERT_TRUE(game.WaitCompleted(1));
    EXPECT_EQ(game.browser->Title(), "Qelunar S12");
    chat.browser->Navigate(Sandbox() + "/vip/chat.html?gs=" + standin::PercentEncode(contact));
    ASSERT_TRUE(chat.WaitCompleted(1));
    const bool calls = std::string(c.externals) == "normal";
    // Each page's last report: the second message's call, or the last read.
    ASSERT_TRUE(PumpUntil(
        [&] {
          const auto reports = SandboxReports();
          return OfEvent(reports, "read").size() >= (calls ? 2u : 3u) &&
                 OfEvent(reports, "call").size() >= (calls ? 4u : 0u);
        },
        15000));
    std::sort(ran.begin(), ran.end());
    std::vector<std::string> expected = c.ran;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ran, expected);
    const auto reports = SandboxReports();
    for (const Report& read : OfEvent(reports, "read")) {
      EXPECT_EQ(read.at("hr"), "0x80020003") << read.at("name");  // a method is no property
    }
    for (const Report& call : OfEvent(reports, "call")) {
      EXPECT_EQ(call.at("hr"), "0x0") << call.at("name");
      if (call.at("name") == "getAppVersion") {
        EXPECT_EQ(call.at("answer"), "1.0.0.1");
      }
    }
    // The game page's sub-resource was fetched before its document completed.
    EXPECT_FALSE(LogValues(Hook("/__log"), "method", "/game/asset.js").empty());
  }
}

}  // namespace

int main(int argc, char** argv) {
  OleInitialize(nullptr);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
