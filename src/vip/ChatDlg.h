#pragma once

#include <memory>
#include <string>

#include "skin/HtmlFrameDialog.h"

class VipChatHost;

// The VIP service chat beside the game: the contact's chat page under the
// chat variant of the skinned frame. Owned by the game window, hidden until
// the player opens it; closing it only hides it, page and all.
class ChatDlg : public HtmlFrameDialog {
 public:
  ChatDlg();
  ~ChatDlg() override;

  bool OnInitDialog() override;

  void Navigate(const std::string& url);

  // The chat page's calls. The contact's name: the title, and the game
  // window's VIP button.
  void getGsName(const std::string& name);
  // A new message: the game window's VIP button shows and lights up.
  void getNewMsg(const std::string& text);

  VipChatHost* m_pGameDlg = nullptr;  // the game window, not owned

 protected:
  std::map<std::string, ui::ExternalMethod> ExternalMethods() override;

 private:
  int m_hIcon;
};
