// The WebBrowser control in our own container, under Wine. Wine has no HTML
// engine here: navigations start and can be cancelled, documents never load.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/Win32WindowPeer.h"
#include "ui/Window.h"

namespace {

// An HTTP server on a free loopback port that records the request lines.
class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    listen(m_listener, 8);
    m_thread = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    m_stop = true;
    m_thread.join();
    closesocket(m_listener);
    WSACleanup();
  }
  int Port() const { return m_port; }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }

 private:
  void Serve() {
    while (!m_stop) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(m_listener, &readable);
      timeval wait{0, 100 * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept(m_listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string request;
      char buffer[2048];
      int got;
      while (request.find("\r\n\r\n") == std::string::npos && (got = recv(client, buffer, sizeof buffer, 0)) > 0) {
        request.append(buffer, static_cast<size_t>(got));
      }
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request.substr(0, request.find("\r\n")));
      }
      const std::string body = "<html><body>page</body></html>";
      const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      closesocket(client);
    }
  }

  SOCKET m_listener = INVALID_SOCKET;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

class Host : public ui::Dialog {
 public:
  Host() : ui::Dialog(902) {}
};

struct Recorder : ui::BrowserEvents {
  bool cancel = false;
  std::vector<std::string> before;
  std::vector<std::string> navigated;
  void OnBeforeNavigate2(const std::string& url, bool& cancelIt) override {
    before.push_back(url);
    cancelIt = cancel;
  }
  void OnNavigateComplete2(const std::string& url) override { navigated.push_back(url); }
};

// Pumps messages until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui::win32::Win32WindowPeer::ProcessMessage(msg);
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

TEST(Browser, IsAChildControlTheHostPlaces) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(10, 20, 300, 200), events);
  ASSERT_TRUE(browser);
  EXPECT_TRUE(host.Peer().HasControl(1001));
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(10, 20, 300, 200));
  browser->Move(ui::Rect::FromXYWH(2000, 2000, 1, 1), false);
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(2000, 2000, 1, 1));
  host.Peer().MoveControl(1001, ui::Rect::FromXYWH(5, 6, 70, 80), true);
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(5, 6, 70, 80));
  browser->DestroyWindow();
  EXPECT_FALSE(host.Peer().HasControl(1001));
}

TEST(Browser, BeforeNavigate2CarriesTheAddressAndCancelStopsTheRequest) {
  const struct {
    bool cancel;
    bool requested;
  } cases[] = {{true, false}, {false, true}};
  for (const auto& c : cases) {
    LoopbackServer server;
    Host host;
    ASSERT_TRUE(host.Create(nullptr));
    Recorder events;
    events.cancel = c.cancel;
    auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
    ASSERT_TRUE(browser);
    browser->SetSilent(true);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/login.php?server_id=S12";
    browser->Navigate(url);
    ASSERT_TRUE(PumpUntil([&] { return !events.before.empty(); }, 10000)) << "no BeforeNavigate2";
    EXPECT_EQ(events.before.front(), url);
    // A request that is going to come comes within seconds; a cancelled one
    // must not come at all in that time.
    PumpUntil([&] { return !server.Requests().empty(); }, c.cancel ? 3000 : 15000);
    const auto requests = server.Requests();
    EXPECT_EQ(!requests.empty(), c.requested) << "cancel " << c.cancel;
    if (c.requested && !requests.empty()) {
      EXPECT_EQ(requests.front(), "GET /login.php?server_id=S12 HTTP/1.1");
    }
    browser->Stop();
  }
}

TEST(Browser, OutlivingItsWindowIsHarmless) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 100, 100), events);
  ASSERT_TRUE(browser);
  host.DestroyWindow();
  EXPECT_EQ(browser->Placement(), ui::Rect{});
  browser->Navigate("http://127.0.0.1:9/");
  EXPECT_TRUE(events.before.empty());
  browser.reset();
}

}  // namespace
