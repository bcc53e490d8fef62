#pragma once

#include "ui/Message.h"
#include "ui/WindowPeer.h"

// Return and Escape pressed in a window that shows a page go straight to the
// page, so that the dialog manager never turns them into OK or cancel.
// True when the message was one of them and has been sent on.
bool SendDialogKeysToPage(ui::WindowPeer& peer, const ui::Message& message);
