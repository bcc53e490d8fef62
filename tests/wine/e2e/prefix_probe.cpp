// Looks inside the Wine prefix the program runs in, at what the X server and
// the network do not show:
//   prefix_probe windows   the top-level windows, hidden ones included, one a
//                          line: handle owner visible left top right bottom
//                          class title (UTF-8)
//   prefix_probe cache     WinINet's URL cache, one entry a line: type url
#include <windows.h>
// after windows.h
#include <wininet.h>

#include <cstdio>
#include <cstring>
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
  if (argc == 2 && std::strcmp(argv[1], "windows") == 0) {
    EnumWindows(&ListOne, 0);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "cache") == 0) {
    ListCache();
    return 0;
  }
  std::fprintf(stderr, "usage: prefix_probe windows | cache\n");
  return 2;
}
