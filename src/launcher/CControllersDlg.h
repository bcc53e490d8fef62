#pragma once

#include <functional>
#include <string>

#include "launcher/CExplorer1.h"
#include "ui/Window.h"

class CDocHostUIHandlerImpl;

// Takes the game address the launcher hands on to the game window.
using GameUrlSink = std::function<void(const std::string& url)>;

// The colour-keyed window that lies exactly on the splash picture and carries
// the launcher's buttons and its embedded browser with the login page.
class CControllersDlg : public ui::Dialog, public ui::BrowserEvents {
 public:
  // Every pixel of this colour lets the splash picture show through.
  static constexpr ui::Color kColorKey{255, 0, 255, 255};
  // Controls of the overlay's template. The close and forum buttons share
  // their ids with the dialog manager's OK and cancel commands.
  static constexpr int kCloseButtonId = 1;
  static constexpr int kForumButtonId = 2;
  static constexpr int kChargeButtonId = 3;
  static constexpr int kHomeButtonId = 4;
  static constexpr int kServiceButtonId = 5;
  static constexpr int kBrowserControlId = 1001;

  // handOff: given each matching game address meant for the game window.
  explicit CControllersDlg(GameUrlSink handOff = {});

  bool OnInitDialog() override;
  void OnMove(int x, int y) override;
  bool OnCommand(int id) override;
  ui::Hit OnNcHitTest(ui::Point screen) override;
  void OnPaint(ui::Canvas& canvas) override;
  int OnQueryDragIcon() override;
  // Return and Escape belong to the page, not to the dialog manager.
  void OnOK() override {}
  void OnCancel() override {}
  void OnClose() override;
  bool PreTranslateMessage(const ui::Message& message) override;
  // The browser goes first, then the host handler, then the window.
  void DestroyWindow() override;

  void OnBeforeNavigate2(const std::string& url, bool& cancel) override;
  void OnDocumentComplete(const std::string& url) override;

  // Puts the buttons at their places; the browser is placed by its pages.
  void PlaceControls();

  CExplorer1 m_browser;

 private:
  void SetupControls();
  void CloseWithConfirmation();

  int m_hIcon;
  GameUrlSink m_handOff;
};

// The host handler installed on the launcher browser's first document.
extern CDocHostUIHandlerImpl* g_pDocHostUIHandler;
