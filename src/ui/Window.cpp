#include "Window.h"

#include "Platform.h"

namespace ui {

Window::Window() : m_peer(GetPlatform().CreateWindowPeer(*this)) {}

Window::~Window() = default;

int Dialog::DoModal(Window* owner) { return Peer().RunModal(m_templateId, owner ? &owner->Peer() : nullptr); }

bool Dialog::Create(Window* owner) { return Peer().Create(m_templateId, owner ? &owner->Peer() : nullptr); }

bool Dialog::OnCommand(int id) {
  if (id == kIdOk) {
    OnOK();
    return true;
  }
  if (id == kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

}  // namespace ui
