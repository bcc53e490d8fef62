#pragma once

#include <memory>
#include <string>

#include "gamewnd/HtmlFrameDialog.h"

class ChatDlg;

// The window the player plays in: the game page in an embedded browser,
// maximised, under the skinned frame with the platform's pages, reload, cache
// cleaning and the VIP contact in its caption.
class ChtmlbrowserDlg : public HtmlFrameDialog {
 public:
  ChtmlbrowserDlg();
  ~ChtmlbrowserDlg() override;

  bool OnInitDialog() override;
  // A close request: asks, and on Yes starts a fresh copy and ends. Requests
  // while it asks or after Yes are ignored.
  void OnClose() override;
  // Neither Return nor Escape ends the game.
  void OnOK() override {}
  void OnCancel() override {}
  int OnQueryDragIcon() override { return m_hIcon; }

  // Opens the game address in the browser; on platform "360" also starts the
  // VIP chat for it. An empty address does nothing.
  void NavigateGame(std::string address);
  // Starts the executable again, without arguments and without waiting.
  void RestartSelf();
  // Shows caption button 14 labelled with the contact's name.
  void ShowVipButton(std::string name);

  // The VIP chat window, once StartVipChat has made it.
  bool m_bChatCreated = false;
  ChatDlg* m_pChatDlg = nullptr;
  // Keeps the chat window for as long as this window lives.
  ChatDlg* AdoptChat(std::unique_ptr<ChatDlg> chat);

 protected:
  void OnCaptionButton(int id) override;
  std::map<std::string, ui::ExternalMethod> ExternalMethods() override;
  // The VIP chat for a loaded game address.
  virtual void StartVipChat(const std::string& address);

 private:
  int m_hIcon;
  std::unique_ptr<ChatDlg> m_chat;
  enum class Closing { No, Asking, Ended };
  Closing m_closing = Closing::No;
};
