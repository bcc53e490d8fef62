#pragma once

#include <string>

class ChtmlbrowserDlg;

// Asks the service for the player's VIP contact on the game server of
// gameUrl and prepares the chat window beside the game window.
void StartVipChat(const std::string& gameUrl, ChtmlbrowserDlg& gameDlg);
