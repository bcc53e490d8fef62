#include "platform/win32/Win32WindowPeer.h"

#include "platform/win32/Win32WindowPeerInternal.h"

// The window procedure: each message to the Window's handler of its own,
// with its parameters in the portable types, and Default() for the dialog
// class's own processing of the message being handled.
namespace ui::win32 {
namespace {

Hit HitOf(WPARAM wParam) { return static_cast<Hit>(wParam); }

LRESULT Answer(bool value) { return value ? TRUE : FALSE; }

NcCalcSizeParams::RectStorage ToPortable(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

RECT ToNative(const NcCalcSizeParams::RectStorage& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

MinMaxInfo ToPortable(const MINMAXINFO& native) {
  return {native.ptMinTrackSize.x, native.ptMinTrackSize.y, native.ptMaxTrackSize.x, native.ptMaxTrackSize.y};
}

void Store(const MinMaxInfo& info, MINMAXINFO& native) {
  native.ptMinTrackSize = {info.minTrackWidth, info.minTrackHeight};
  native.ptMaxTrackSize = {info.maxTrackWidth, info.maxTrackHeight};
}

}  // namespace

LRESULT CALLBACK Win32WindowPeer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32WindowPeer* peer = FromHandle(hwnd);
  if (!peer) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) return peer->Detach(hwnd, wParam, lParam);
  if (peer->m_quiet) return peer->CallPrevious(message, wParam, lParam);
  return peer->Route(message, wParam, lParam);
}

LRESULT Win32WindowPeer::Route(UINT message, WPARAM wParam, LPARAM lParam) {
  std::intptr_t filtered = 0;
  if (m_window.FilterMessage(message, filtered)) return filtered;
  Current current{message, wParam, lParam, {}, {}, {}};
  m_current.push_back(&current);
  const LRESULT result = Handle(current);
  m_current.pop_back();
  return result;
}

LRESULT Win32WindowPeer::Handle(Current& current) {
  const WPARAM wParam = current.wParam;
  const LPARAM lParam = current.lParam;
  const Point point = PointOf(lParam);
  switch (current.message) {
    case WM_NCCREATE:
      return Answer(m_window.OnNcCreate());
    case WM_CREATE:
      return m_window.OnCreate();
    case WM_INITDIALOG:
      return HandleInitDialog(current);
    case WM_MOVE:
      m_window.OnMove(point.x, point.y);
      return current.DefaultAnswer();
    case WM_SIZE:
      m_window.OnSize(static_cast<SizeType>(wParam), LOWORD(lParam), HIWORD(lParam));
      return current.DefaultAnswer();
    case WM_NCHITTEST:
      return HandleNcHitTest(current);
    case WM_NCCALCSIZE:
      return HandleNcCalcSize(current);
    case WM_NCLBUTTONDOWN:
      m_window.OnNcLButtonDown(HitOf(wParam), point);
      return current.DefaultAnswer();
    case WM_NCLBUTTONUP:
      m_window.OnNcLButtonUp(HitOf(wParam), point);
      return current.DefaultAnswer();
    case WM_NCLBUTTONDBLCLK:
      m_window.OnNcLButtonDblClk(HitOf(wParam), point);
      return current.DefaultAnswer();
    case WM_NCMOUSEMOVE:
      m_window.OnNcMouseMove(HitOf(wParam), point);
      return current.DefaultAnswer();
    case WM_NCMOUSELEAVE:
      m_window.OnNcMouseLeave();
      return current.DefaultAnswer();
    case WM_NCPAINT:
      m_window.OnNcPaint();
      return current.DefaultAnswer();
    case WM_NCACTIVATE:
      return Answer(m_window.OnNcActivate(wParam != 0));
    case WM_ACTIVATE:
      m_window.OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return current.DefaultAnswer();
    case WM_GETMINMAXINFO:
      return HandleGetMinMaxInfo(current);
    case WM_SYSCOMMAND:
      m_window.OnSysCommand(static_cast<SysCommand>(wParam));
      return current.DefaultAnswer();
    case WM_COMMAND:
      return HandleCommand(current);
    case WM_CLOSE:
      m_window.OnClose();
      return current.DefaultAnswer();
    case WM_PAINT:
      return HandlePaint(current);
    case WM_QUERYDRAGICON:
      return HandleQueryDragIcon(current);
    case WM_SETTEXT:
    case WM_SETICON:
      return WithoutCaptionRedraw(current.message, wParam, lParam);
    case WM_WINDOWPOSCHANGED:
      return HandleWindowPosChanged(current);
    case WM_DRAWITEM:
      return HandleDrawItem(current);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
      return HandleControlColor(current);
    default:
      return CallPrevious(current);
  }
}

LRESULT Win32WindowPeer::HandleInitDialog(const Current& current) {
  if (auto* dialog = dynamic_cast<Dialog*>(&m_window)) return Answer(dialog->OnInitDialog());
  return CallPrevious(current);
}

LRESULT Win32WindowPeer::HandleNcCalcSize(Current& current) {
  // Three rectangles when the valid areas are asked for, else the window's.
  NcCalcSizeParams params;
  params.calcValidRects = current.wParam != 0;
  RECT* rects = current.wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(current.lParam)->rgrc
                               : reinterpret_cast<RECT*>(current.lParam);
  const int count = current.wParam ? 3 : 1;
  auto read = [&params, rects, count] {
    for (int i = 0; i < count; ++i) params.rects[i] = ToPortable(rects[i]);
  };
  auto write = [&params, rects, count] {
    for (int i = 0; i < count; ++i) rects[i] = ToNative(params.rects[i]);
  };
  read();
  current.beforeDefault = write;
  current.afterDefault = read;
  const LRESULT result = m_window.OnNcCalcSize(params);
  write();
  return result;
}

LRESULT Win32WindowPeer::HandleGetMinMaxInfo(Current& current) {
  auto* native = reinterpret_cast<MINMAXINFO*>(current.lParam);
  MinMaxInfo info = ToPortable(*native);
  current.beforeDefault = [&info, native] { Store(info, *native); };
  current.afterDefault = [&info, native] { info = ToPortable(*native); };
  m_window.OnGetMinMaxInfo(info);
  Store(info, *native);
  return current.DefaultAnswer();
}

LRESULT Win32WindowPeer::HandleCommand(const Current& current) {
  // Clicks, menu items and accelerators; control notifications go on.
  if (HIWORD(current.wParam) <= 1 && m_window.OnCommand(LOWORD(current.wParam))) return 0;
  if (current.defaulted) return current.defaultResult;
  return CallPrevious(current);
}

LRESULT Win32WindowPeer::HandleQueryDragIcon(const Current& current) {
  const int icon = m_window.OnQueryDragIcon();
  if (current.defaulted && icon == static_cast<int>(current.defaultResult)) return current.defaultResult;
  return icon ? reinterpret_cast<LRESULT>(LoadIconW(Module(), MAKEINTRESOURCEW(icon))) : 0;
}

std::intptr_t Win32WindowPeer::Default() {
  if (m_current.empty() || !m_hwnd) return 0;
  Current& current = *m_current.back();
  if (current.beforeDefault) current.beforeDefault();
  LRESULT result = CallPrevious(current);
  if (current.afterDefault) current.afterDefault();
  if (current.adjustDefault) result = current.adjustDefault(result);
  current.defaulted = true;
  current.defaultResult = result;
  return result;
}

LRESULT Win32WindowPeer::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(m_previous, m_hwnd, message, wParam, lParam);
}

LRESULT Win32WindowPeer::CallPrevious(const Current& current) {
  return CallPrevious(current.message, current.wParam, current.lParam);
}

}  // namespace ui::win32
