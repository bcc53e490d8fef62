#include "platform/win32/WinInetHttp.h"

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace ui::win32 {
namespace {

DWORD ClampMs(std::chrono::milliseconds ms) {
  if (ms.count() <= 0) return 1;
  if (ms.count() > 0x7FFFFFFF) return 0x7FFFFFFF;
  return static_cast<DWORD>(ms.count());
}

// What the caller and the thread doing the request share. The thread owns the
// WinINet handles; the caller only waits, and may give up waiting.
struct Exchange {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;  // the caller's time ran out; nobody reads the answer
  bool complete = false;
  std::string body;

  bool Abandoned() {
    std::lock_guard<std::mutex> lock(mutex);
    return abandoned;
  }
};

void Run(Exchange& x, const std::string& url, bool readBody, const std::string& userAgent,
         const HttpLimits& limits) {
  bool complete = false;
  std::string body;
  HINTERNET session = InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session) {
    // Each single wait is bounded as well, so that on Windows a thread whose
    // caller gave up does not linger past the request's time.
    DWORD connectMs = ClampMs(limits.connectTimeout);
    DWORD totalMs = ClampMs(limits.totalTimeout);
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &totalMs, sizeof totalMs);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &totalMs, sizeof totalMs);

    HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_ASCII, 1);
    complete = request != nullptr;
    if (request && readBody) {
      char buffer[16 * 1024];
      std::size_t received = 0;
      for (;;) {
        DWORD got = 0;
        if (x.Abandoned() || !InternetReadFile(request, buffer, sizeof buffer, &got)) {
          complete = false;
          break;
        }
        if (got == 0) break;  // end of the body
        received += got;
        if (received > limits.maxBodyBytes) {
          complete = false;
          break;
        }
        for (DWORD i = 0; i < got; ++i) {
          if (buffer[i] != '\r' && buffer[i] != '\n') body.push_back(buffer[i]);
        }
      }
    }
    if (request) InternetCloseHandle(request);
    InternetCloseHandle(session);
  }
  {
    std::lock_guard<std::mutex> lock(x.mutex);
    x.complete = complete;
    x.body = std::move(body);
    x.done = true;
  }
  x.finished.notify_all();
}

}  // namespace

// The request runs on a thread of its own and the caller waits for it at most
// the request's time. WinINet bounds single connects and receives (where the
// system honours the options) but not a whole request: a server that trickles
// its answer, or a WinINet that ignores receive time-outs, would otherwise hold
// the caller without limit. A thread that outlives its caller's wait finishes
// the call it is in, skips further reads and closes its own handles.
std::string WinInetHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                           const HttpLimits& limits) {
  auto exchange = std::make_shared<Exchange>();
  try {
    std::thread([exchange, url, readBody, userAgent, limits] {
      Run(*exchange, url, readBody, userAgent, limits);
    }).detach();
  } catch (const std::system_error&) {
    return {};  // no thread: as if the session could not be opened
  }
  std::unique_lock<std::mutex> lock(exchange->mutex);
  if (!exchange->finished.wait_for(lock, limits.totalTimeout, [&] { return exchange->done; })) {
    exchange->abandoned = true;
    return {};
  }
  if (!readBody || !exchange->complete) return {};
  return std::move(exchange->body);
}

}  // namespace ui::win32
