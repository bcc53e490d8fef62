#include "vip/VipChat.h"

#include "vip/ChatDlg.h"
#include "vip/VipChatHost.h"
#include "vip/VipServiceInfo.h"

namespace {

// The chat window's client area beside the game window's right edge.
constexpr int kChatWidth = 434;
constexpr int kChatTop = 80;
constexpr int kChatBottom = 466;

}  // namespace

std::string ServerIdOf(const std::string& gameUrl) {
  const auto key = gameUrl.find("server_id=");
  if (key == std::string::npos) return {};
  std::string part = gameUrl.substr(key);
  const auto amp = part.find('&');
  if (amp != std::string::npos) part.resize(amp);
  return part.substr(part.find('=') + 1);
}

void StartVipChat(const std::string& gameUrl, VipChatHost& gameDlg) {
  const std::string serverId = ServerIdOf(gameUrl);
  if (serverId.size() < 2 || serverId.find('S') == std::string::npos) return;
  VipServiceInfo& info = VipServiceInfo::Instance();
  info.QueryVipService(serverId);
  // A failed query leaves an existing chat window as it was.
  if (info.m_nErrno != 0 || info.m_strGsUrl.empty()) return;

  ui::Window& owner = gameDlg.ChatOwner();
  // Owned by the game window, modeless and hidden.
  if (!gameDlg.Chat()) gameDlg.AdoptChat(std::make_unique<ChatDlg>())->Create(&owner);
  ChatDlg& chat = *gameDlg.Chat();
  const ui::Rect game = owner.GetWindowRect();
  const ui::Rect client{game.right - kChatWidth, game.top + kChatTop, game.right, game.top + kChatBottom};
  chat.Navigate(info.m_strGsUrl);
  chat.MoveWindow(chat.AdjustWindowRect(client), true);
  chat.m_pGameDlg = &gameDlg;
}
