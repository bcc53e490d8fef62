#pragma once
// A loopback HTTP server for the stand-in's tests: pages by path, each with
// its status, headers and body, a path that never answers, and every request
// kept (method, target, body), the stand-in's reports read back as values.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin_tests {

struct Answer {
  int status = 200;
  std::string headers;  // extra header lines, each ending in \r\n
  std::string body;
};

struct Request {
  std::string method;
  std::string target;  // path and query
  std::string body;
};

using Report = std::map<std::string, std::string>;  // a report's values, decoded

class PageServer {
 public:
  PageServer();
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Unknown paths answer 404; /standin/report answers 204.
  void Serve(const std::string& path, Answer answer);
  // Requests for path are taken and never answered until the server ends.
  void Stall(const std::string& path);

  std::string Url(const std::string& path) const;
  // Every request but the reports, in arrival order.
  std::vector<Request> Requests() const;
  std::vector<std::string> Paths() const;  // their targets
  // The reports, in their seq order.
  std::vector<Report> Reports() const;
  // Connections taken for a stalled path that the client has closed.
  int StalledClosed() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// A report's query read into its values.
Report ParseQuery(const std::string& query);

// Every report of that event, in order.
std::vector<Report> OfEvent(const std::vector<Report>& reports, const std::string& event);

}  // namespace standin_tests
