#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace kqvtest {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

int PortOf(int socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

int ListenOnLoopback(int port, int backlog, int* bound) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) throw std::runtime_error("socket");
  // A given port may be one a closed server of the test held a moment ago.
  const int reuse = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const sockaddr_in address = Loopback(port);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, backlog) != 0) {
    close(listener);
    throw std::runtime_error("bind/listen");
  }
  *bound = PortOf(listener);
  return listener;
}

int RefusedPort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(0);
  bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int port = PortOf(s);
  close(s);  // bound but never listening, then released: nothing answers there
  return port;
}

SilentPort::SilentPort() {
  m_listener = ListenOnLoopback(0, 0, &m_port);
  // Never accepted: these fill the queue, after which the kernel drops new
  // connection requests instead of answering them.
  const sockaddr_in address = Loopback(m_port);
  for (int i = 0; i < 8; ++i) {
    const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    fcntl(c, F_SETFL, O_NONBLOCK);
    connect(c, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    m_fillers.push_back(c);
  }
  // The queue is full once the first of them is connected.
  pollfd connected{m_fillers.front(), POLLOUT, 0};
  poll(&connected, 1, 2000);
}

SilentPort::~SilentPort() {
  for (int c : m_fillers) close(c);
  close(m_listener);
}

std::string SilentPort::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

LoopbackServer::LoopbackServer(int port) {
  m_listener = ListenOnLoopback(port, 64, &m_port);
  m_thread = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  m_stop = true;
  m_thread.join();
  close(m_listener);
}

void LoopbackServer::Route(const std::string& path, Answer answer) {
  std::lock_guard lock(m_mutex);
  m_routes[path] = std::move(answer);
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

bool LoopbackServer::WasRequested(const std::string& path) const {
  const auto requests = Requests();
  return std::find(requests.begin(), requests.end(), path) != requests.end();
}

int LoopbackServer::Count(const std::string& path) const {
  const auto requests = Requests();
  return static_cast<int>(std::count(requests.begin(), requests.end(), path));
}

std::string LoopbackServer::LastHeaders(const std::string& path) const {
  std::lock_guard lock(m_mutex);
  auto it = m_lastHeaders.find(path);
  return it == m_lastHeaders.end() ? std::string() : it->second;
}

void LoopbackServer::Serve() {
  while (!m_stop) {
    pollfd waiting{m_listener, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Handle(client);
    close(client);
  }
}

void LoopbackServer::Handle(int client) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd readable{client, POLLIN, 0};
    if (poll(&readable, 1, 2000) <= 0) return;
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  const auto firstSpace = request.find(' ');
  const auto secondSpace = request.find(' ', firstSpace + 1);
  if (firstSpace == std::string::npos || secondSpace == std::string::npos) return;
  const std::string path = request.substr(firstSpace + 1, secondSpace - firstSpace - 1);

  Answer answer;
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(path);
    m_lastHeaders[path] = request.substr(0, request.find("\r\n\r\n"));
    auto route = m_routes.find(path);
    if (route != m_routes.end()) {
      answer = route->second;
    } else {
      answer.status = 404;
      answer.body = "<html><body>not found</body></html>";
    }
  }
  std::string response = "HTTP/1.1 " + std::to_string(answer.status) + (answer.status == 200 ? " OK" : " Other") +
                         "\r\nContent-Type: " + answer.contentType +
                         "\r\nContent-Length: " + std::to_string(answer.body.size()) + "\r\nConnection: close\r\n";
  if (!answer.location.empty()) response += "Location: " + answer.location + "\r\n";
  response += answer.extraHeaders;
  response += "\r\n" + answer.body;
  std::size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace kqvtest
