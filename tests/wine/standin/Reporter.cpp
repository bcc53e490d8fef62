#include "Reporter.h"

#include <thread>

#include "Fetcher.h"
#include "Module.h"
#include "Text.h"

namespace standin {

Reporter::Reporter() : m_queue(std::make_shared<Queue>()) {
  ModuleAddRef();  // released by the thread as it ends
  std::thread([queue = m_queue] {
    for (;;) {
      std::string address;
      {
        std::unique_lock<std::mutex> hold(queue->lock);
        queue->ready.wait(hold, [&] { return queue->closing || !queue->addresses.empty(); });
        if (queue->addresses.empty()) break;
        address = std::move(queue->addresses.front());
        queue->addresses.pop_front();
      }
      FetchRequest request;
      request.url = address;
      request.throughCache = false;
      Fetch().Run(request);
    }
    ModuleRelease();
  }).detach();
}

Reporter::~Reporter() {
  std::lock_guard<std::mutex> hold(m_queue->lock);
  m_queue->closing = true;
  m_queue->ready.notify_all();
}

void Reporter::Send(const std::string& address, const std::string& event, const std::string& url, ReportValues values) {
  if (address.empty()) return;
  std::string query =
      "event=" + PercentEncode(event) + "&seq=" + std::to_string(++m_sequence) + "&url=" + PercentEncode(url);
  for (const auto& [name, value] : values) {
    query += '&';
    query += PercentEncode(name);
    query += '=';
    query += PercentEncode(value);
  }
  std::lock_guard<std::mutex> hold(m_queue->lock);
  m_queue->addresses.push_back(address + (address.find('?') == std::string::npos ? "?" : "&") + query);
  m_queue->ready.notify_all();
}

}  // namespace standin
