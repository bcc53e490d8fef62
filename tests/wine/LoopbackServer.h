#pragma once
// An HTTP server on a free loopback port, on a thread of its own: it answers
// every request with a small page and keeps the request lines.

#include <memory>
#include <string>
#include <vector>

namespace wine_tests {

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
