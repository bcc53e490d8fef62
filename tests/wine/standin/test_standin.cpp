// The program's browser, created the program's own way, gets the stand-in
// control registered in this test's Wine prefix, and documents load through
// it: the events the real engine raises, in its order, and a document.
#include <gtest/gtest.h>

#include <winsock2.h>
// after winsock2.h
#include <windows.h>
// after windows.h
#include <ole2.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "../LoopbackServer.h"
#include "platform/win32/Win32Browser.h"
#include "ui/DocHostUIHandler.h"

namespace {

using wine_tests::LoopbackServer;

struct Recorder : ui::BrowserEvents {
  bool cancel = false;
  std::vector<std::string> before;
  std::vector<std::string> navigated;
  std::vector<bool> topLevel;
  std::vector<std::string> completed;
  std::vector<std::string> order;  // "before", "navigated", "completed"
  void OnBeforeNavigate2(const std::string& url, bool& cancelIt) override {
    before.push_back(url);
    order.push_back("before");
    cancelIt = cancel;
  }
  void OnNavigateComplete2(const std::string& url, bool top) override {
    navigated.push_back(url);
    topLevel.push_back(top);
    order.push_back("navigated");
  }
  void OnDocumentComplete(const std::string& url) override {
    completed.push_back(url);
    order.push_back("completed");
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
class PageServer {
 public:
  explicit PageServer(std::string body) : m_body(std::move(body)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = static_cast<SOCKET>(wine_tests::ListenOnLoopback(4, &m_port));
    m_thread = std::thread([this] { Serve(); });
  }
  ~PageServer() {
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
    const auto requests = server.Requests();
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
    PageServer server(c.page);
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
  LoopbackServer server;
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

  browser->DestroyWindow();
  EXPECT_EQ(handler.references, 1);  // the document went with the control
}

}  // namespace

int main(int argc, char** argv) {
  OleInitialize(nullptr);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
