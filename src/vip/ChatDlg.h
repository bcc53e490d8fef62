#pragma once

#include <memory>
#include <string>

#include "skin/SkinnedFrame.h"
#include "ui/Browser.h"

class ChtmlbrowserDlg;

// The VIP service chat beside the game: the contact's chat page under the
// chat variant of the skinned frame. Owned by the game window, hidden until
// the player opens it; closing it only hides it, page and all.
class ChatDlg : public SkinnedFrame, private ui::BrowserEvents {
 public:
  ChatDlg();
  ~ChatDlg() override;

  bool OnInitDialog() override;
  bool PreTranslateMessage(const ui::Message& message) override;

  void Navigate(const std::string& url);

  // The chat page's calls. The contact's name: the title, and the game
  // window's VIP button.
  void getGsName(const std::string& name);
  // A new message: the game window's VIP button shows and lights up.
  void getNewMsg(const std::string& text);

  ui::Browser* Browser() const { return m_browser.get(); }

  ChtmlbrowserDlg* m_pGameDlg = nullptr;  // not owned

 protected:
  void OnSizeClient(ui::SizeType type, int cx, int cy) override;

 private:
  void OnNavigateComplete2(const std::string& url, bool topLevel) override;
  void InstallHostChoices();

  int m_hIcon;
  std::unique_ptr<ui::Browser> m_browser;
  bool m_hostChoicesInstalled = false;
};
