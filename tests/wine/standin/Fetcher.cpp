#include "Fetcher.h"

#include <vector>

#include "Text.h"

namespace standin {

Fetch::~Fetch() { CloseAll(); }

bool Fetch::Keep(HINTERNET session) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_cancelled) {
    InternetCloseHandle(session);
    return false;
  }
  m_session = session;
  return true;
}

void Fetch::Cancel() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_cancelled = true;
  // Closing the session closes its connection and request with it, and a
  // call blocked on them returns.
  if (m_session) InternetCloseHandle(m_session);
  m_session = nullptr;
}

bool Fetch::Cancelled() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_cancelled;
}

void Fetch::CloseAll() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_session) InternetCloseHandle(m_session);
  m_session = nullptr;
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
  if (!session || !Keep(session)) return result;
  DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  if (!request.throughCache) flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES;
  HINTERNET connection = InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET http = connection ? HttpOpenRequestW(connection, Widen(request.method).c_str(), target.c_str(), nullptr,
                                                 nullptr, nullptr, flags, 0)
                              : nullptr;
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
