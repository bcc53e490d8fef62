// Looks at the windows of the programs running in the same Wine prefix, and
// acts on them, for the tests that drive the real client from outside.
//   window_probe list            one line per visible dialog window:
//                                handle owner left top right bottom exstyle
//                                colorkey (-1 when none) title
//   window_probe foreground       the handle of the foreground window
//   window_probe close <handle>  posts WM_CLOSE to the window
//   window_probe windows         every top-level window, hidden ones
//                                included: handle owner visible left top
//                                right bottom class title (UTF-8)
//   window_probe cache           WinINet's URL cache, one entry a line:
//                                type url
#include <windows.h>
// after windows.h
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? static_cast<size_t>(size - 1) : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

BOOL CALLBACK ListOne(HWND hwnd, LPARAM) {
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  if (wcscmp(className, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  const LONG exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
  long long key = -1;
  COLORREF colour = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  if ((exStyle & WS_EX_LAYERED) && GetLayeredWindowAttributes(hwnd, &colour, &alpha, &flags) &&
      (flags & LWA_COLORKEY)) {
    key = static_cast<long long>(colour);
  }
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  std::printf("%llu %llu %ld %ld %ld %ld %lu %lld %s\n",
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(hwnd, GW_OWNER))), rect.left,
              rect.top, rect.right, rect.bottom, static_cast<unsigned long>(exStyle), key, Utf8(title).c_str());
  return TRUE;
}

BOOL CALLBACK ListAny(HWND hwnd, LPARAM) {
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  std::printf("%llu %llu %d %ld %ld %ld %ld %s %s\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(hwnd, GW_OWNER))),
              IsWindowVisible(hwnd) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom, Utf8(className).c_str(),
              Utf8(title).c_str());
  return TRUE;
}

// An entry's record is as long as the cache says; it is asked again when
// the buffer is short.
void ListCache() {
  std::vector<unsigned char> buffer(4096);
  DWORD size = static_cast<DWORD>(buffer.size());
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry, &size);
  if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(size);
    entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    find = FindFirstUrlCacheEntryW(nullptr, entry, &size);
  }
  if (!find) return;
  for (;;) {
    std::printf("%lu %s\n", static_cast<unsigned long>(entry->CacheEntryType), Utf8(entry->lpszSourceUrlName).c_str());
    size = static_cast<DWORD>(buffer.size());
    if (FindNextUrlCacheEntryW(find, entry, &size)) continue;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buffer.resize(size);
    entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    if (!FindNextUrlCacheEntryW(find, entry, &size)) break;
  }
  FindCloseUrlCache(find);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "list") {
    EnumWindows(&ListOne, 0);
    return 0;
  }
  if (argc >= 2 && std::string(argv[1]) == "foreground") {
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetForegroundWindow())));
    return 0;
  }
  if (argc >= 3 && std::string(argv[1]) == "close") {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[2], nullptr, 10)));
    return PostMessageW(hwnd, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (argc >= 2 && std::string(argv[1]) == "windows") {
    EnumWindows(&ListAny, 0);
    return 0;
  }
  if (argc >= 2 && std::string(argv[1]) == "cache") {
    ListCache();
    return 0;
  }
  std::fprintf(stderr, "usage: window_probe list | foreground | close <handle> | windows | cache\n");
  return 2;
}
