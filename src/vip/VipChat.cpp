#include "vip/VipChat.h"

// The chat window is not built yet: the game window loads without a contact.
void StartVipChat(const std::string& /*gameUrl*/, ChtmlbrowserDlg& /*gameDlg*/) {}
