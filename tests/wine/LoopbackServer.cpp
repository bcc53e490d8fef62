#include "LoopbackServer.h"

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace wine_tests {

struct LoopbackServer::State {
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  std::atomic<bool> stop{false};
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::thread thread;

  void Serve() {
    while (!stop) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener, &readable);
      timeval wait{0, 100 * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
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
      const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      closesocket(client);
    }
  }
};

LoopbackServer::LoopbackServer() : m_state(std::make_unique<State>()) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  State& s = *m_state;
  s.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int size = sizeof address;
  getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &size);
  s.port = ntohs(address.sin_port);
  listen(s.listener, 8);
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
