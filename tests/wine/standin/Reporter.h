#pragma once
// The reports a control sends to the stand-in platform: each a GET of the
// report address with its values as query parameters, sent in order from a
// thread of the reporter's own so that the page never waits for them.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace standin {

using ReportValues = std::vector<std::pair<std::string, std::string>>;

class Reporter {
 public:
  Reporter();
  ~Reporter();  // the reports queued still go; the thread ends after them
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Queues event with seq= (counted from 1) and url= first, then values.
  // Nothing goes without an address (a page of no web origin).
  void Send(const std::string& address, const std::string& event, const std::string& url, ReportValues values);

 private:
  struct Queue {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::string> addresses;
    bool closing = false;
  };
  std::shared_ptr<Queue> m_queue;
  unsigned m_sequence = 0;
};

}  // namespace standin
