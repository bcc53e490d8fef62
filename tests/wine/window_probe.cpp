// Looks at the windows of the programs running in the same Wine prefix, and
// acts on them, for the tests that drive the real client from outside.
//   window_probe list            one line per visible dialog window:
//                                handle owner left top right bottom exstyle
//                                colorkey (-1 when none) title
//   window_probe foreground       the handle of the foreground window
//   window_probe close <handle>  posts WM_CLOSE to the window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
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
  std::fprintf(stderr, "usage: window_probe list | foreground | close <handle>\n");
  return 2;
}
