#include "LoopbackServer.h"

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace wine_tests {
namespace {

// Sockets work from the first helper on, whatever the test program did.
void StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  return address;
}

int PortOf(SOCKET s) {
  sockaddr_in address{};
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// Whether a connection waits on the listener, waiting at most waitMs.
bool Pending(SOCKET listener, int waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  timeval wait{0, waitMs * 1000};
  return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

}  // namespace

std::uintptr_t ListenOnLoopback(int backlog, int* port) {
  StartSockets();
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = Loopback(0);
  bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  listen(listener, backlog);
  *port = PortOf(listener);
  return listener;
}

int RefusedPort() {
  StartSockets();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = Loopback(0);
  bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int port = PortOf(s);
  closesocket(s);  // bound but never listening, then released: nothing answers there
  return port;
}

struct SilentPort::State {
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  std::vector<SOCKET> fillers;
  std::atomic<bool> stop{false};
  std::thread closer;
};

SilentPort::SilentPort() : m_state(std::make_unique<State>()) {
  State& s = *m_state;
  s.listener = ListenOnLoopback(0, &s.port);
  // Never accepted: these fill the queue, after which new connection
  // requests are dropped instead of answered.
  const sockaddr_in address = Loopback(s.port);
  for (int i = 0; i < 8; ++i) {
    const SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(c, FIONBIO, &nonBlocking);
    connect(c, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    s.fillers.push_back(c);
  }
  // The queue is full once the first of them is connected.
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(s.fillers.front(), &writable);
  timeval wait{2, 0};
  select(0, nullptr, &writable, nullptr, &wait);
}

SilentPort::~SilentPort() {
  m_state->stop = true;
  if (m_state->closer.joinable()) m_state->closer.join();
  for (SOCKET c : m_state->fillers) closesocket(c);
  closesocket(m_state->listener);
}

std::string SilentPort::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_state->port) + path;
}

void SilentPort::CloseEachConnection() {
  State& s = *m_state;
  if (s.closer.joinable()) return;
  s.closer = std::thread([&s] {
    while (!s.stop) {
      if (Pending(s.listener, 50)) closesocket(accept(s.listener, nullptr, nullptr));
    }
  });
}

struct LoopbackServer::State {
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  std::atomic<bool> stop{false};
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::thread thread;

  void Serve() {
    while (!stop) {
      if (!Pending(listener, 100)) continue;
      SOCKET client = accept(listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string request;
      char buffer[2048];
      int got;
      while (request.find("\r\n\r\n") == std::string::npos && (got = recv(client, buffer, sizeof buffer, 0)) > 0) {
        request.append(buffer, static_cast<size_t>(got));
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request.substr(0, request.find("\r\n")));
      }
      const std::string body = "<html><body>page</body></html>";
      const std::string answer =
          "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\nConnection: close\r\n\r\n" + body;
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      closesocket(client);
    }
  }
};

LoopbackServer::LoopbackServer() : m_state(std::make_unique<State>()) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  State& s = *m_state;
  s.listener = ListenOnLoopback(8, &s.port);
  s.thread = std::thread([&s] { s.Serve(); });
}

LoopbackServer::~LoopbackServer() {
  m_state->stop = true;
  m_state->thread.join();
  closesocket(m_state->listener);
  WSACleanup();
}

int LoopbackServer::Port() const { return m_state->port; }

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_state->port) + path;
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->requests;
}

}  // namespace wine_tests
