// The caption buttons under the pointer: hit test, press, release,
// double-click, hover and leave.
#include "skin/SkinnedFrame.h"

namespace {

bool IsCaptionOrSizing(ui::Hit hit) {
  const int code = static_cast<int>(hit);
  return hit == ui::Hit::Caption ||
         (code >= static_cast<int>(ui::Hit::Left) && code <= static_cast<int>(ui::Hit::BottomRight));
}

}  // namespace

ui::Point SkinnedFrame::ToWindow(ui::Point screen) const {
  const ui::Rect window = GetWindowRect();
  return {screen.x - window.left, screen.y - window.top};
}

const CaptionButtonEntry* SkinnedFrame::EntryOf(int id) const {
  for (const CaptionButtonEntry& entry : Variant().buttons) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

int SkinnedFrame::HitTestButton(ui::Point point) const {
  for (const auto& [id, button] : m_buttons) {
    if (button.m_bVisible && button.m_rect.Contains(point)) return id;
  }
  return -1;
}

ui::Hit SkinnedFrame::OnNcHitTest(ui::Point screen) {
  const ui::Point point = ToWindow(screen);
  const int id = HitTestButton(point);
  if (id == -1) return m_rcIcon.Contains(point) ? ui::Hit::SysMenu : static_cast<ui::Hit>(Default());
  const CaptionButtonEntry* entry = EntryOf(id);
  switch (entry ? entry->role : CaptionRole::Generic) {
    case CaptionRole::Close:
      return ui::Hit::Close;
    case CaptionRole::MaximizeRestore:
      return ui::Hit::MaxButton;
    case CaptionRole::Minimize:
      return ui::Hit::MinButton;
    default:
      return static_cast<ui::Hit>(Default());
  }
}

void SkinnedFrame::OnNcLButtonDown(ui::Hit /*hit*/, ui::Point screen) {
  const ui::Point point = ToWindow(screen);
  const int id = HitTestButton(point);
  if (id != -1) {
    // No default processing: the platform starts no move, size or button
    // tracking of its own.
    Press(id);
    PaintFrame();
    return;
  }
  if (m_rcIcon.Contains(point)) {
    Peer().TrackSystemMenu(screen);
    return;
  }
  Default();
}

void SkinnedFrame::OnNcLButtonUp(ui::Hit /*hit*/, ui::Point screen) {
  const int id = HitTestButton(ToWindow(screen));
  if (id == -1) {
    Default();
    return;
  }
  // The action follows where the button is released, whatever was pressed.
  const CaptionButtonEntry* entry = EntryOf(id);
  switch (entry ? entry->role : CaptionRole::Generic) {
    case CaptionRole::Own:
      OnCaptionButton(id);
      return;
    case CaptionRole::Close:
      SendSysCommand(ui::SysCommand::Close);
      return;
    case CaptionRole::MaximizeRestore:
      SendSysCommand(IsZoomed() ? ui::SysCommand::Restore : ui::SysCommand::Maximize);
      return;
    case CaptionRole::Minimize:
      SendSysCommand(ui::SysCommand::Minimize);
      return;
    case CaptionRole::Generic:
      break;
  }
  CDUIButton& button = m_buttons.at(id);
  if (!button.m_bDisabled && button.m_bPressed) {
    button.m_bChecked = !button.m_bChecked;
    button.m_bPressed = false;
    if (button.m_pOwner) button.m_pOwner->PostCommand(id);
  }
  PaintFrame();
}

void SkinnedFrame::OnNcLButtonDblClk(ui::Hit /*hit*/, ui::Point screen) {
  if (!Variant().captionDoubleClicks) return;
  const ui::Point point = ToWindow(screen);
  const int id = HitTestButton(point);
  if (id != -1) {
    // The platform replaces the second press of a double-click by this
    // message, so it presses again and the release fires again.
    Press(id);
  } else if (point.y >= 0 && point.y < m_nCaptionHeight && point.x >= 0 && point.x < GetWindowRect().Width()) {
    ShowWindow(IsZoomed() ? ui::ShowCommand::Restore : ui::ShowCommand::Maximize);
  }
  PaintFrame();
}

void SkinnedFrame::OnNcMouseMove(ui::Hit hit, ui::Point screen) {
  if (!m_bTracking) m_bTracking = Peer().TrackMouseLeave();
  if (IsCaptionOrSizing(hit)) Default();
  const int id = HitTestButton(ToWindow(screen));
  if (id == m_nHoverId) return;
  ClearHover();
  if (id != -1) {
    m_nHoverId = id;
    CDUIButton& button = m_buttons.at(id);
    if (!button.m_bDisabled) button.m_bHover = true;
  }
  PaintFrame();
}

void SkinnedFrame::OnNcMouseLeave() {
  // Not repainted here: the cleared state shows at the next paint.
  m_bTracking = false;
  ClearHover();
}

void SkinnedFrame::Press(int id) {
  CDUIButton& button = m_buttons.at(id);
  if (button.m_bDisabled) return;
  button.m_bPressed = true;
  button.m_bAttention = false;
}

void SkinnedFrame::ClearHover() {
  if (m_nHoverId == -1) return;
  auto found = m_buttons.find(m_nHoverId);
  if (found != m_buttons.end() && !found->second.m_bDisabled) {
    found->second.m_bPressed = false;
    found->second.m_bHover = false;
  }
  m_nHoverId = -1;
}
