#include "launcher/CControllersDlg.h"

#include "app/ResourceIds.h"
#include "core/PlatformConfig.h"
#include "launcher/IconicPaint.h"

CControllersDlg::CControllersDlg() : ui::Dialog(res::kOverlayDialog), m_hIcon(res::kAppIcon) {}

bool CControllersDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  Peer().AddLayeredStyle();
  Peer().SetColorKey(kColorKey);
  PlatformConfig::Instance().LoadDefaults();
  return true;
}

ui::Hit CControllersDlg::OnNcHitTest(ui::Point) {
  const auto hit = static_cast<ui::Hit>(Default());
  return hit == ui::Hit::Client ? ui::Hit::Caption : hit;
}

void CControllersDlg::OnPaint(ui::Canvas& canvas) { PaintIconOrDefault(*this, canvas, m_hIcon); }

int CControllersDlg::OnQueryDragIcon() { return m_hIcon; }

// The base cancel: the overlay ends as a dialog, the launcher goes on.
void CControllersDlg::OnClose() { EndDialog(ui::kIdCancel); }
