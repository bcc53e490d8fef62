#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Loopback helpers of the Linux tests (the GTK backend's and the transports'):
// an HTTP server, a port that never answers, a port that refuses.
namespace kqvtest {

// A socket listening on 127.0.0.1 at `port`, or at one the system picks for
// 0; the port it got goes to *bound. Throws when it cannot listen.
int ListenOnLoopback(int port, int backlog, int* bound);

// A loopback port nobody listens on: connections are refused at once.
int RefusedPort();

// A loopback port that never answers: its accept queue is kept full, so a
// connection attempt is not even taken up, and only the client's own bounds
// (or a stop) end it.
class SilentPort {
 public:
  SilentPort();
  ~SilentPort();
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  int Port() const { return m_port; }
  std::string Url(const std::string& path) const;

 private:
  int m_listener = -1;
  int m_port = 0;
  std::vector<int> m_fillers;
};

// A small HTTP server on 127.0.0.1 and a port the system picks (or a given
// one, for a server that comes back). Serves fixed
// answers by path and records every request line's path, in order.
class LoopbackServer {
 public:
  struct Answer {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body{};
    std::string location{};  // for redirects
    std::string extraHeaders{};
  };

  explicit LoopbackServer(int port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  void Route(const std::string& path, Answer answer);
  std::string Url(const std::string& path) const;
  std::vector<std::string> Requests() const;
  bool WasRequested(const std::string& path) const;
  int Count(const std::string& path) const;
  // The request headers of the last request for the path, as received.
  std::string LastHeaders(const std::string& path) const;

 private:
  void Serve();
  void Handle(int client);

  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::map<std::string, Answer> m_routes;
  std::vector<std::string> m_requests;
  std::map<std::string, std::string> m_lastHeaders;
  std::thread m_thread;
};

}  // namespace kqvtest
