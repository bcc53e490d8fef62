#include "core/PageKeys.h"

#include "ui/Codes.h"

bool SendDialogKeysToPage(ui::WindowPeer& peer, const ui::Message& message) {
  if (message.kind != ui::Message::Kind::KeyDown || (message.key != ui::kVkReturn && message.key != ui::kVkEscape)) {
    return false;
  }
  peer.DispatchToTarget(message);
  return true;
}
