#pragma once

#include "ui/Window.h"

// The colour-keyed window that lies exactly on the splash picture and carries
// the launcher's buttons and its embedded browser.
class CControllersDlg : public ui::Dialog {
 public:
  // Every pixel of this colour lets the splash picture show through.
  static constexpr ui::Color kColorKey{255, 0, 255, 255};

  CControllersDlg();

  bool OnInitDialog() override;
  ui::Hit OnNcHitTest(ui::Point screen) override;
  void OnPaint(ui::Canvas& canvas) override;
  int OnQueryDragIcon() override;
  // Return and Escape are not the dialog manager's here.
  void OnOK() override {}
  void OnCancel() override {}
  void OnClose() override;

 private:
  int m_hIcon;
};
