#include "platform/win32/WinInetHttp.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace ui::win32 {
namespace {

DWORD ClampMs(std::chrono::milliseconds ms) {
  if (ms.count() <= 0) return 1;
  // Room above for the connection's mark (see Exchange::sendMark).
  if (ms.count() > 0x7FFF0000) return 0x7FFF0000;
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

  // WinINet copies a request's send and receive time-outs onto the socket it
  // sends the request on. The send time-out is unique among live requests,
  // so the pair finds this request's socket among the process's sockets.
  DWORD receiveMs = 0;
  DWORD sendMark = 0;
  // Held while the socket is shut down and while the handles are closed, so
  // that a socket is never looked for after WinINet may have let it go.
  std::mutex socketMutex;
  bool handlesClosed = false;

  // Counted under WorkersMutex().
  bool exited = false;
  bool countedAbandoned = false;

  bool Abandoned() {
    std::lock_guard<std::mutex> lock(mutex);
    return abandoned;
  }
};

std::mutex& WorkersMutex() {
  static std::mutex mutex;
  return mutex;
}
int g_workers = 0;
int g_abandoned = 0;
std::uint32_t g_serial = 0;

// Shuts this request's connection down, so that closing the request cannot
// drain the rest of its body: Wine's WinINet reads whatever the server still
// sends when a request with an unread body is closed, for as long as data
// keeps coming. After the shutdown its reads end at once and it lets the
// socket go. WinINet does not give its socket away (Wine's diagnostic socket
// option answers 0), so it is found by the time-outs the request put on it.
void DropConnection(Exchange& x) {
  std::lock_guard<std::mutex> lock(x.socketMutex);
  if (x.handlesClosed) return;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  // Socket handles are kernel handles: multiples of four, low in the table.
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  const std::uintptr_t last = std::max<std::uintptr_t>(0x10000, std::uintptr_t{handles} * 16);
  for (std::uintptr_t value = 4; value <= last; value += 4) {
    const auto s = static_cast<SOCKET>(value);
    DWORD send = 0, receive = 0;
    int length = sizeof send;
    if (getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&send), &length) != 0 || send != x.sendMark) {
      continue;
    }
    length = sizeof receive;
    if (getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&receive), &length) != 0 ||
        receive != x.receiveMs) {
      continue;
    }
    shutdown(s, SD_BOTH);
  }
  WSACleanup();
}

std::string QueryHeader(HINTERNET request, DWORD header) {
  char buffer[256];
  DWORD size = sizeof buffer;
  if (!HttpQueryInfoA(request, header, buffer, &size, nullptr)) return {};
  return std::string(buffer, size);
}

// The announced length of the body, if the body is delimited by one.
// Digits beyond any sensible size still read as "over the cap".
std::optional<std::uint64_t> AnnouncedLength(HINTERNET request) {
  std::string encoding = QueryHeader(request, HTTP_QUERY_TRANSFER_ENCODING);
  for (char& c : encoding) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (encoding.find("chunked") != std::string::npos) return std::nullopt;
  const std::string text = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value > (UINT64_MAX - 9) / 10 ? UINT64_MAX : value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

struct Handles {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
};

// Session, connection and request for an http or https address. The request
// is opened the way InternetOpenUrl opens one, but its time-outs can be set
// before it is sent: Wine applies a request's own time-outs to its socket and
// ignores the session's.
bool OpenRequest(Handles& h, const Exchange& x, const std::string& url, const std::string& userAgent,
                 const HttpLimits& limits) {
  h.session = InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!h.session) return false;
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength =
      parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (url.empty() || !InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  auto piece = [](const char* text, DWORD length) { return text ? std::string(text, length) : std::string(); };
  const std::string host = piece(parts.lpszHostName, parts.dwHostNameLength);
  const std::string user = piece(parts.lpszUserName, parts.dwUserNameLength);
  const std::string password = piece(parts.lpszPassword, parts.dwPasswordLength);
  std::string path =
      piece(parts.lpszUrlPath, parts.dwUrlPathLength) + piece(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty() || path[0] != '/') path.insert(0, "/");
  h.connection = InternetConnectA(h.session, host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
                                  password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 1);
  if (!h.connection) return false;
  const char* accept[] = {"*/*", nullptr};
  DWORD flags = INTERNET_FLAG_TRANSFER_ASCII;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  h.request = HttpOpenRequestA(h.connection, "GET", path.c_str(), nullptr, nullptr, accept, flags, 1);
  if (!h.request) return false;
  DWORD connectMs = ClampMs(limits.connectTimeout);
  DWORD sendMs = x.sendMark;
  DWORD receiveMs = x.receiveMs;
  InternetSetOptionA(h.request, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  InternetSetOptionA(h.request, INTERNET_OPTION_SEND_TIMEOUT, &sendMs, sizeof sendMs);
  InternetSetOptionA(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
  return true;
}

void Run(Exchange& x, const std::string& url, bool readBody, const std::string& userAgent, const HttpLimits& limits) {
  bool complete = false;
  bool ended = false;  // the body was read to its end: nothing left to drain
  std::string body;
  Handles h;
  if (OpenRequest(h, x, url, userAgent, limits) && !x.Abandoned() &&
      HttpSendRequestA(h.request, nullptr, 0, nullptr, 0)) {
    complete = true;
    if (readBody) {
      HttpBodyText text(limits.maxBodyBytes);
      const std::optional<std::uint64_t> announced = AnnouncedLength(h.request);
      if (announced && text.OverCap(*announced)) complete = false;
      char buffer[16 * 1024];
      while (complete) {
        DWORD got = 0;
        if (x.Abandoned() || !InternetReadFile(h.request, buffer, sizeof buffer, &got)) {
          complete = false;
          break;
        }
        if (got == 0) {
          ended = true;
          // WinINet ends a body normally when the server closes early.
          if (announced && text.Received() != *announced) complete = false;
          break;
        }
        if (!text.Append(buffer, got)) {
          complete = false;
          break;
        }
      }
      body = text.Take();
    }
  }
  if (!ended) DropConnection(x);
  {
    std::lock_guard<std::mutex> lock(x.socketMutex);
    if (h.request) InternetCloseHandle(h.request);
    if (h.connection) InternetCloseHandle(h.connection);
    if (h.session) InternetCloseHandle(h.session);
    x.handlesClosed = true;
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

int WinInetHttpWorkers() {
  std::lock_guard<std::mutex> lock(WorkersMutex());
  return g_workers;
}

// The request runs on a thread of its own and the caller waits for it at most
// the request's time. WinINet bounds single connects and receives (where the
// system honours the options) but not a whole request: a server that trickles
// its answer would otherwise hold the caller without limit. A caller that
// gives up shuts the request's connection down, which ends the thread's
// WinINet call; the thread then closes its own handles.
std::string WinInetHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                           const HttpLimits& limits) {
  auto exchange = std::make_shared<Exchange>();
  exchange->receiveMs = ClampMs(limits.totalTimeout);
  {
    std::lock_guard<std::mutex> lock(WorkersMutex());
    if (g_abandoned >= kMaxAbandonedHttpWorkers) return {};
    exchange->sendMark = exchange->receiveMs + 1 + (g_serial++ % 1024);
    ++g_workers;
  }
  try {
    std::thread([exchange, url, readBody, userAgent, limits] {
      Run(*exchange, url, readBody, userAgent, limits);
      std::lock_guard<std::mutex> lock(WorkersMutex());
      exchange->exited = true;
      --g_workers;
      if (exchange->countedAbandoned) --g_abandoned;
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(WorkersMutex());
    --g_workers;
    return {};  // no thread: as if the session could not be opened
  }
  {
    std::unique_lock<std::mutex> lock(exchange->mutex);
    if (exchange->finished.wait_for(lock, limits.totalTimeout, [&] { return exchange->done; })) {
      if (!readBody || !exchange->complete) return {};
      return std::move(exchange->body);
    }
    exchange->abandoned = true;
  }
  {
    std::lock_guard<std::mutex> lock(WorkersMutex());
    if (!exchange->exited) {
      exchange->countedAbandoned = true;
      ++g_abandoned;
    }
  }
  DropConnection(*exchange);
  return {};
}

}  // namespace ui::win32
