#include "platform/win32/Win32WindowPeer.h"

#include "platform/win32/Text.h"

// The platform's own message box, owned by the window.
namespace ui::win32 {

int Win32WindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  return MessageBoxW(m_hwnd, Widen(text).c_str(), Widen(caption).c_str(), style);
}

}  // namespace ui::win32
