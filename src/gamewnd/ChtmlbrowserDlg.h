#pragma once

#include <memory>
#include <string>

#include "skin/SkinnedFrame.h"
#include "ui/Browser.h"

class ChatDlg;

// The window the player plays in: the game page in an embedded browser,
// maximised, under the skinned frame with the platform's pages, reload, cache
// cleaning and the VIP contact in its caption.
class ChtmlbrowserDlg : public SkinnedFrame, private ui::BrowserEvents {
 public:
  ChtmlbrowserDlg();
  ~ChtmlbrowserDlg() override;

  bool OnInitDialog() override;
  // Every close request: asks, and on Yes starts a fresh copy and ends.
  void OnClose() override;
  // Neither Return nor Escape ends the game.
  void OnOK() override {}
  void OnCancel() override {}
  bool PreTranslateMessage(const ui::Message& message) override;
  int OnQueryDragIcon() override { return m_hIcon; }

  // Opens the game address in the browser; on platform "360" also starts the
  // VIP chat for it. An empty address does nothing.
  void NavigateGame(std::string address);
  // Starts the executable again, without arguments and without waiting.
  void RestartSelf();
  // Shows caption button 14 labelled with the contact's name.
  void ShowVipButton(std::string name);

  ui::Browser* Browser() const { return m_browser.get(); }

  // The VIP chat window, once StartVipChat has made it.
  bool m_bChatCreated = false;
  ChatDlg* m_pChatDlg = nullptr;
  // Keeps the chat window for as long as this window lives.
  ChatDlg* AdoptChat(std::unique_ptr<ChatDlg> chat);

 protected:
  void OnCaptionButton(int id) override;
  void OnSizeClient(ui::SizeType type, int cx, int cy) override;
  // The VIP chat for a loaded game address.
  virtual void StartVipChat(const std::string& address);

 private:
  void OnNavigateComplete2(const std::string& url, bool topLevel) override;
  void InstallHostChoices();

  int m_hIcon;
  std::unique_ptr<ui::Browser> m_browser;
  std::unique_ptr<ChatDlg> m_chat;
  bool m_hostChoicesInstalled = false;
};
