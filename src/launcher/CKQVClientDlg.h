#pragma once

#include <memory>

#include "launcher/CControllersDlg.h"
#include "ui/PixelImage.h"
#include "ui/Window.h"

// The launcher: a borderless picture with per-pixel transparency that carries
// the controls overlay and can be dragged from any visible point.
class CKQVClientDlg : public ui::Dialog {
 public:
  // keepGameUrl: takes the game address the login found; the launcher then
  // ends with OK. Without it a found address ends nothing.
  explicit CKQVClientDlg(GameUrlSink keepGameUrl = {});
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
  void HandOffGame(const std::string& url);

  int m_hIcon;
  GameUrlSink m_keepGameUrl;
  ui::PixelImage m_image;
  std::unique_ptr<CControllersDlg> m_pOverlay;
};

// The overlay is created at most once per process.
extern bool g_bOverlayCreated;
