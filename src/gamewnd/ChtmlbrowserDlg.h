#pragma once

#include <memory>
#include <string>

#include "skin/HtmlFrameDialog.h"
#include "vip/VipChatHost.h"

class ChatDlg;

// The window the player plays in: the game page in an embedded browser,
// maximised, under the skinned frame with the platform's pages, reload, cache
// cleaning and the VIP contact in its caption.
class ChtmlbrowserDlg : public HtmlFrameDialog, public VipChatHost {
 public:
  // gameUrl: the game page the launcher chose, loaded at start and on 刷新.
  explicit ChtmlbrowserDlg(std::string gameUrl = {});
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
  void ShowVipButton(std::string name) override;
  // Shows caption button 14 with its highlight.
  void LightVipButton() override;

  // The VIP chat window, once StartVipChat has made it. Read here; written
  // only by AdoptChat, so that the two always agree.
  bool m_bChatCreated = false;
  ChatDlg* m_pChatDlg = nullptr;
  // Keeps the chat window for as long as this window lives.
  ChatDlg* AdoptChat(std::unique_ptr<ChatDlg> chat) override;
  ChatDlg* Chat() const override { return m_pChatDlg; }
  ui::Window& ChatOwner() override { return *this; }

 protected:
  void OnCaptionButton(int id) override;
  std::map<std::string, ui::ExternalMethod> ExternalMethods() override;
  // The VIP chat for a loaded game address.
  virtual void StartVipChat(const std::string& address);

 private:
  int m_hIcon;
  std::string m_strGameUrl;
  std::unique_ptr<ChatDlg> m_chat;
  enum class Closing { No, Asking, Ended };
  Closing m_closing = Closing::No;
};
