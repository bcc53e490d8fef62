#pragma once
// One HTTP request over WinINet, as the control's engine makes it: through
// the URL cache and the cookies (pages and their sub-resources), or around
// both (the stand-in's own reports and polls). Redirects are never followed
// here: each is a navigation of its own for the caller. Another thread may
// cancel a request under way.

#include <windows.h>
// after windows.h
#include <wininet.h>

#include <mutex>
#include <string>

namespace standin {

struct FetchRequest {
  std::string url;
  std::string method = "GET";
  std::string body;  // posted as application/x-www-form-urlencoded
  bool throughCache = true;
};

struct FetchResult {
  bool ok = false;  // an answer came, whatever its status
  unsigned status = 0;
  std::string location;  // of a 3xx answer
  std::string body;
  bool IsRedirect() const { return status >= 300 && status < 400 && !location.empty(); }
};

class Fetch {
 public:
  Fetch() = default;
  Fetch(const Fetch&) = delete;
  Fetch& operator=(const Fetch&) = delete;
  ~Fetch();

  // Blocks until the answer is in, the request fails or Cancel ends it.
  FetchResult Run(const FetchRequest& request);
  // Ends the request under way (its connection is closed) or the next one.
  void Cancel();
  bool Cancelled() const;

 private:
  bool Keep(HINTERNET* slot, HINTERNET handle);  // false (and closes it) once cancelled
  void CloseAll();

  mutable std::mutex m_lock;
  bool m_cancelled = false;
  HINTERNET m_session = nullptr;
  HINTERNET m_request = nullptr;
  DWORD m_mark = 0;  // the time-outs put on this request's socket, to find it by
};

}  // namespace standin
