#include "platform/win32/Win32WindowPeer.h"

#include "platform/win32/Win32Browser.h"
#include "platform/win32/Win32WindowPeerInternal.h"

// Input: the message pump's key filters, hit testing, commands sent and
// posted, the system menu and leave tracking.
namespace ui::win32 {

void Win32WindowPeer::ProcessMessage(MSG& msg) {
  if (msg.hwnd) {
    const Message offered{msg.message == WM_KEYDOWN ? Message::Kind::KeyDown : Message::Kind::Other,
                          msg.message == WM_KEYDOWN ? static_cast<unsigned>(msg.wParam) : 0u, &msg};
    // The target first, then each parent or owner, as far as they are ours.
    for (HWND hwnd = msg.hwnd; hwnd; hwnd = GetParent(hwnd)) {
      if (Win32WindowPeer* peer = FromHandle(hwnd); peer && peer->m_window.PreTranslateMessage(offered)) return;
    }
    if (Win32Browser::TranslateAccelerator(msg)) return;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (Win32WindowPeer* peer = FromHandle(root);
        peer && dynamic_cast<Dialog*>(&peer->m_window) && IsDialogMessageW(root, &msg)) {
      return;
    }
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

bool Win32WindowPeer::DispatchToTarget(const Message& message) {
  if (!message.native) return false;
  const MSG* msg = static_cast<const MSG*>(message.native);
  TranslateMessage(msg);
  DispatchMessageW(msg);
  return true;
}

LRESULT Win32WindowPeer::HandleNcHitTest(Current& current) {
  const Point screen = PointOf(current.lParam);
  current.adjustDefault = [this, screen](LRESULT hit) { return CaptionHit(hit, screen); };
  return static_cast<LRESULT>(m_window.OnNcHitTest(screen));
}

LRESULT Win32WindowPeer::CaptionHit(LRESULT hit, Point screen) const {
  // A window whose non-client area is drawn by its handlers has no caption
  // buttons of the platform's, and a caption as tall as the band above its
  // client area: the platform's own answer knows neither.
  switch (hit) {
    case HTNOWHERE:
    case HTSYSMENU:
    case HTMINBUTTON:
    case HTMAXBUTTON:
    case HTCLOSE:
    case HTHELP:
      break;
    default:
      return hit;
  }
  if ((GetWindowLongW(m_hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return hit;
  RECT window{};
  GetWindowRect(m_hwnd, &window);
  POINT client{0, 0};
  ClientToScreen(m_hwnd, &client);
  const bool aboveClient =
      screen.x >= window.left && screen.x < window.right && screen.y >= window.top && screen.y < client.y;
  return aboveClient ? HTCAPTION : hit;
}

bool Win32WindowPeer::TrackMouseLeave() {
  if (!m_hwnd) return false;
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, m_hwnd, 0};
  return TrackMouseEvent(&track) != FALSE;
}

bool Win32WindowPeer::TrackSystemMenu(Point screen) {
  HMENU menu = m_hwnd ? GetSystemMenu(m_hwnd, FALSE) : nullptr;
  if (!menu) return false;
  // A system menu tracked for its window sends the chosen entry as
  // WM_SYSCOMMAND, as the platform's own system menu does.
  TrackPopupMenu(menu, 0, screen.x, screen.y, 0, m_hwnd, nullptr);
  return true;
}

void Win32WindowPeer::SendSysCommand(SysCommand command) {
  if (m_hwnd) SendMessageW(m_hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

void Win32WindowPeer::PostCommand(int id) {
  if (m_hwnd) PostMessageW(m_hwnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

}  // namespace ui::win32
