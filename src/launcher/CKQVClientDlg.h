#pragma once

#include <memory>

#include "ui/PixelImage.h"
#include "ui/Window.h"

class CControllersDlg;

// The launcher: a borderless picture with per-pixel transparency that carries
// the controls overlay and can be dragged from any visible point.
class CKQVClientDlg : public ui::Dialog {
 public:
  CKQVClientDlg();
  ~CKQVClientDlg() override;

  CControllersDlg* Overlay() const { return m_pOverlay.get(); }
  const ui::PixelImage& Image() const { return m_image; }

  int OnCreate() override;
  bool OnInitDialog() override;
  void OnMove(int x, int y) override;
  ui::Hit OnNcHitTest(ui::Point screen) override;
  bool PreTranslateMessage(const ui::Message& message) override;
  void OnPaint(ui::Canvas& canvas) override;
  int OnQueryDragIcon() override;

 private:
  void ApplyLayeredImage();

  int m_hIcon;
  ui::PixelImage m_image;
  std::unique_ptr<CControllersDlg> m_pOverlay;
};

// The overlay is created at most once per process.
extern bool g_bOverlayCreated;
