#pragma once
// Loopback helpers of the Wine tests: an HTTP server, a port that never
// answers, a port that refuses, and the listening socket under them. The
// header stays free of the socket headers, which must come before windows.h.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wine_tests {

// A socket listening on 127.0.0.1 at a port the system picks, as its SOCKET
// value; the port goes to *port.
std::uintptr_t ListenOnLoopback(int backlog, int* port);

// A loopback port nobody listens on: connections are refused at once.
int RefusedPort();

// A loopback port that never answers: its accept queue is kept full, so a
// connection attempt is not even taken up.
class SilentPort {
 public:
  SilentPort();
  ~SilentPort();
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  std::string Url(const std::string& path) const;
  // From now on every connection is taken and closed at once, so the
  // attempts waiting on the port end.
  void CloseEachConnection();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// An HTTP server on a free loopback port, on a thread of its own: it answers
// every request with a small page and keeps the request lines.
class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const;
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(const std::string& path) const;
  // The request lines received so far, e.g. "GET /a?b HTTP/1.1".
  std::vector<std::string> Requests() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace wine_tests
