#include "platform/win32/Win32Platform.h"

#include "platform/win32/WinApi.h"
// after windows.h
#include <wininet.h>

#include <string>
#include <vector>

#include "platform/win32/Text.h"

namespace ui::win32 {
namespace {

// WinINet's URL cache. The records are the wide ones, so addresses come as
// UTF-16 whatever the system's code page.
class WinInetUrlCache : public UrlCache {
 public:
  Handle FindFirstEntry(std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    DWORD bytes = size;
    HANDLE handle = FindFirstUrlCacheEntryW(nullptr, Record(buffer), &bytes);
    m_last = handle ? 0 : GetLastError();
    size = bytes;
    return handle;
  }
  bool FindNextEntry(Handle handle, std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    DWORD bytes = size;
    const bool ok = FindNextUrlCacheEntryW(handle, Record(buffer), &bytes) != FALSE;
    m_last = ok ? 0 : GetLastError();
    size = bytes;
    return ok;
  }
  std::uint32_t LastError() const override { return m_last; }
  Entry EntryIn(const std::vector<std::uint8_t>& buffer) const override {
    const auto* record = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    return {record->CacheEntryType, record->lpszSourceUrlName ? Narrow(record->lpszSourceUrlName) : std::string()};
  }
  bool DeleteEntry(const std::string& sourceUrl) override { return DeleteUrlCacheEntryW(Widen(sourceUrl).c_str()); }
  void Close(Handle handle) override { FindCloseUrlCache(handle); }

 private:
  static INTERNET_CACHE_ENTRY_INFOW* Record(std::vector<std::uint8_t>& buffer) {
    // Never smaller than the record itself, whatever size the caller keeps.
    if (buffer.size() < sizeof(INTERNET_CACHE_ENTRY_INFOW)) buffer.resize(sizeof(INTERNET_CACHE_ENTRY_INFOW));
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  }
  std::uint32_t m_last = 0;
};

}  // namespace

UrlCache* Win32Platform::BrowserUrlCache() {
  static WinInetUrlCache cache;
  return &cache;
}

// The control's cache is the system's URL cache, walked by the caller.
bool Win32Platform::CleanBrowserCache() { return true; }

}  // namespace ui::win32
