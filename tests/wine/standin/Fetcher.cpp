// The socket calls need winsock2.h before windows.h.
#include <winsock2.h>
// after winsock2.h
#include "Fetcher.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "Text.h"

namespace standin {

namespace {

std::atomic<DWORD> g_serial{0};

// Shuts down the socket carrying the request whose time-outs are mark:
// Wine's WinINet neither gives its socket away nor ends a read blocked on
// it when the handle is closed, so the socket is found by those time-outs
// (socket handles are kernel handles, multiples of four, low in the table).
void ShutDownSocket(DWORD mark) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  const std::uintptr_t last = std::max<std::uintptr_t>(0x10000, std::uintptr_t{handles} * 16);
  for (std::uintptr_t value = 4; value <= last; value += 4) {
    const auto s = static_cast<SOCKET>(value);
    DWORD send = 0, receive = 0;
    int length = sizeof send;
    if (getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&send), &length) != 0 || send != mark) continue;
    length = sizeof receive;
    if (getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&receive), &length) != 0 || receive != mark) {
      continue;
    }
    shutdown(s, SD_BOTH);
  }
  WSACleanup();
}

}  // namespace

Fetch::~Fetch() { CloseAll(); }

bool Fetch::Keep(HINTERNET* slot, HINTERNET handle) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_cancelled) {
    InternetCloseHandle(handle);
    return false;
  }
  *slot = handle;
  return true;
}

void Fetch::Cancel() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_cancelled = true;
  // A call blocked on the request returns once its connection is down;
  // then the handles go, the session with the rest.
  if (m_request && m_mark) ShutDownSocket(m_mark);
  if (m_request) InternetCloseHandle(m_request);
  if (m_session) InternetCloseHandle(m_session);
  m_request = m_session = nullptr;
}

bool Fetch::Cancelled() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_cancelled;
}

void Fetch::CloseAll() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_request) InternetCloseHandle(m_request);
  if (m_session) InternetCloseHandle(m_session);
  m_request = m_session = nullptr;
}

FetchResult Fetch::Run(const FetchRequest& request) {
  FetchResult result;
  const std::wstring url = Widen(request.url);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {}, path[4096] = {}, extra[4096] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 4096;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = 4096;
  if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    return result;
  }
  std::wstring target = std::wstring(path) + extra;
  if (const size_t hash = target.find(L'#'); hash != std::wstring::npos) target.erase(hash);
  if (target.empty()) target = L"/";

  HINTERNET session = InternetOpenW(L"KQVStandIn", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session || !Keep(&m_session, session)) return result;
  DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  if (!request.throughCache) flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES;
  HINTERNET connection = InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET http = connection ? HttpOpenRequestW(connection, Widen(request.method).c_str(), target.c_str(), nullptr,
                                                 nullptr, nullptr, flags, 0)
                              : nullptr;
  if (http) {
    // Marks of this request alone (two hours and more: never reached).
    const DWORD mark = 7200000 + (g_serial++ % 1000000);
    InternetSetOptionW(http, INTERNET_OPTION_SEND_TIMEOUT, const_cast<DWORD*>(&mark), sizeof mark);
    InternetSetOptionW(http, INTERNET_OPTION_RECEIVE_TIMEOUT, const_cast<DWORD*>(&mark), sizeof mark);
    std::lock_guard<std::mutex> hold(m_lock);
    m_mark = mark;
  }
  if (http && !Keep(&m_request, http)) http = nullptr;
  if (http) {
    static const wchar_t kForm[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
    const bool posting = request.method == "POST";
    if (HttpSendRequestW(http, posting ? kForm : nullptr, posting ? static_cast<DWORD>(-1L) : 0,
                         posting ? const_cast<char*>(request.body.data()) : nullptr,
                         posting ? static_cast<DWORD>(request.body.size()) : 0)) {
      DWORD status = 0, size = sizeof status;
      if (HttpQueryInfoW(http, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        result.status = status;
      }
      if (status >= 300 && status < 400) {
        std::vector<wchar_t> location(2048);
        size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(http, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) {
          result.location = Narrow(std::wstring(location.data(), size / sizeof(wchar_t)));
        }
      }
      char buffer[8192];
      DWORD read = 0;
      while (!Cancelled() && InternetReadFile(http, buffer, sizeof buffer, &read) && read) {
        result.body.append(buffer, read);
      }
      result.ok = !Cancelled();
    }
  }
  CloseAll();
  (void)connection;  // closed with the session
  return result;
}

}  // namespace standin
