#pragma once

#include <memory>
#include <string>

#include "ui/Window.h"

class ChatDlg;

// What the VIP chat needs of the window it sits beside: that window (the
// chat's owner, and the edge the chat is placed at), the one chat window it
// keeps, and the VIP button in its caption.
class VipChatHost {
 public:
  virtual ui::Window& ChatOwner() = 0;
  // The chat window once adopted, else none.
  virtual ChatDlg* Chat() const = 0;
  // Keeps the chat window for as long as the host lives; it is Chat() from
  // then on.
  virtual ChatDlg* AdoptChat(std::unique_ptr<ChatDlg> chat) = 0;
  // Shows the VIP button labelled with the contact's name; an empty name
  // changes nothing.
  virtual void ShowVipButton(std::string name) = 0;
  // Shows the VIP button lit up, until the player presses it.
  virtual void LightVipButton() = 0;

 protected:
  ~VipChatHost() = default;
};
