#include "BrowserWindows.h"

#include <windowsx.h>

#include "Browser.h"
#include "Module.h"

namespace standin {
namespace {

constexpr wchar_t kViewClass[] = L"KQVStandInView";
constexpr wchar_t kCourierClass[] = L"KQVStandInCourier";
constexpr wchar_t kPressed[] = L"KQVStandInPressed";

Browser* BrowserOf(HWND hwnd) { return reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

LRESULT CALLBACK CourierProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Browser* browser = BrowserOf(hwnd);
  if (message == kJobDone && browser) {
    browser->OnJobDone(static_cast<unsigned>(wParam));
    return 0;
  }
  if (message == WM_TIMER && browser) {
    browser->OnTimer(wParam);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Browser* browser = BrowserOf(hwnd);
  if (!browser) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      browser->Paint(hwnd);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      SetPropW(hwnd, kPressed, reinterpret_cast<HANDLE>(1));
      return 0;
    case WM_LBUTTONUP:
      // A click is a press and its release both in the view.
      if (RemovePropW(hwnd, kPressed)) browser->OnClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_RBUTTONDOWN:
      SetFocus(hwnd);
      return 0;
    case WM_CONTEXTMENU: {
      POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (lParam == -1) {  // from the keyboard: the view's corner
        at = {0, 0};
        ClientToScreen(hwnd, &at);
      }
      browser->OnContextMenu(at);
      return 0;
    }
    case WM_DESTROY:
      RemovePropW(hwnd, kPressed);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterOnce(const wchar_t* name, WNDPROC procedure, bool view) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(Module(), name, &windowClass)) return;
  windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = Module();
  windowClass.lpszClassName = name;
  if (view) {
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }
  RegisterClassExW(&windowClass);
}

}  // namespace

HWND CreateCourier(Browser* browser) {
  RegisterOnce(kCourierClass, CourierProc, false);
  HWND courier = CreateWindowExW(0, kCourierClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(), nullptr);
  if (courier) SetWindowLongPtrW(courier, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(browser));
  return courier;
}

HWND CreateView(Browser* browser, HWND parent, const RECT& area) {
  RegisterOnce(kViewClass, ViewProc, true);
  HWND view = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, area.left, area.top,
                              area.right - area.left, area.bottom - area.top, parent, nullptr, Module(), nullptr);
  if (view) SetWindowLongPtrW(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(browser));
  return view;
}

}  // namespace standin
