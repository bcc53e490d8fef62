// Lists the top-level windows of the programs in the same Wine prefix,
// hidden ones included, which the X server does not show:
//   handle owner visible left top right bottom class title
// one line per window, the title as UTF-8.
#include <windows.h>

#include <cstdio>
#include <string>

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

}  // namespace

int main() {
  EnumWindows(&ListOne, 0);
  return 0;
}
