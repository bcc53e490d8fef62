#pragma once

#include <string>

class VipChatHost;

// The game server id of a game address: after the first "server_id=", up to
// the next "&"; empty without the key.
std::string ServerIdOf(const std::string& gameUrl);

// Asks the service for the player's VIP contact on the game server of
// gameUrl and prepares the chat window beside the game window: made once,
// hidden, sent to the contact's chat page and placed at the game window's
// right edge. A failed query leaves everything as it was.
void StartVipChat(const std::string& gameUrl, VipChatHost& gameDlg);
