#pragma once

#include <memory>

#include "ui/Browser.h"
#include "ui/Window.h"

// The window the player plays in: the game page in an embedded browser,
// maximised.
class ChtmlbrowserDlg : public ui::Dialog, private ui::BrowserEvents {
 public:
  ChtmlbrowserDlg();
  ~ChtmlbrowserDlg() override;

  bool OnInitDialog() override;
  void OnSize(ui::SizeType type, int cx, int cy) override;

  ui::Browser* Browser() const { return m_browser.get(); }

 private:
  int m_hIcon;
  std::unique_ptr<ui::Browser> m_browser;
};
