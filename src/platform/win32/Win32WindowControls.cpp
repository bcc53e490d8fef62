#include "platform/win32/Win32WindowPeer.h"

#include "platform/win32/Win32Browser.h"
#include "platform/win32/Win32WindowPeerInternal.h"

// The window's controls: the embedded browser, picture buttons drawn from
// two bitmaps, and controls found and moved by id.
namespace ui::win32 {

std::unique_ptr<Browser> Win32WindowPeer::CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) {
  if (!m_hwnd) return nullptr;
  return Win32Browser::Create(m_hwnd, controlId, rect, events);
}

void Win32WindowPeer::AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) {
  HWND control = m_hwnd ? GetDlgItem(m_hwnd, controlId) : nullptr;
  if (!control) return;
  PictureButton& button = m_pictureButtons[controlId];
  if (button.normal) DeleteObject(button.normal);
  if (button.pressed) DeleteObject(button.pressed);
  button.normal = LoadBitmapW(Module(), MAKEINTRESOURCEW(normalBitmapId));
  button.pressed = LoadBitmapW(Module(), MAKEINTRESOURCEW(pressedBitmapId));
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  SetWindowLongPtrW(control, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  BITMAP size{};
  if (button.normal && GetObjectW(button.normal, sizeof size, &size)) {
    SetWindowPos(control, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(control, nullptr, TRUE);
}

LRESULT Win32WindowPeer::HandleDrawItem(const Current& current) {
  if (current.wParam && DrawPictureButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(current.lParam))) return TRUE;
  return CallPrevious(current);
}

bool Win32WindowPeer::DrawPictureButton(const DRAWITEMSTRUCT& item) {
  auto found = m_pictureButtons.find(static_cast<int>(item.CtlID));
  if (found == m_pictureButtons.end() || item.CtlType != ODT_BUTTON) return false;
  HBITMAP bitmap =
      (item.itemState & ODS_SELECTED) && found->second.pressed ? found->second.pressed : found->second.normal;
  if (!bitmap) return true;
  BITMAP size{};
  GetObjectW(bitmap, sizeof size, &size);
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  return true;
}

bool Win32WindowPeer::HasControl(int controlId) const { return m_hwnd && GetDlgItem(m_hwnd, controlId); }

void Win32WindowPeer::MoveControl(int controlId, const Rect& rect, bool repaint) {
  HWND control = m_hwnd ? GetDlgItem(m_hwnd, controlId) : nullptr;
  if (control) MoveWindow(control, rect.left, rect.top, rect.Width(), rect.Height(), repaint);
}

}  // namespace ui::win32
