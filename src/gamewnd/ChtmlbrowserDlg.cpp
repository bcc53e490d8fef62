#include "gamewnd/ChtmlbrowserDlg.h"

#include "app/CKQVClientApp.h"
#include "app/ResourceIds.h"

namespace {
constexpr int kBrowserControlId = 102;
}

ChtmlbrowserDlg::ChtmlbrowserDlg() : ui::Dialog(res::kGameDialog), m_hIcon(res::kAppIcon) {}

ChtmlbrowserDlg::~ChtmlbrowserDlg() = default;

bool ChtmlbrowserDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  const ui::Rect client = GetClientRect();
  m_browser = Peer().CreateBrowser(kBrowserControlId, client, *this);
  if (m_browser) m_browser->Navigate(App().GameUrl);
  ShowWindow(ui::ShowCommand::Maximize);
  return true;
}

void ChtmlbrowserDlg::OnSize(ui::SizeType type, int cx, int cy) {
  Default();
  if (m_browser && type != ui::SizeType::Minimized) m_browser->Move(ui::Rect{0, 0, cx, cy}, true);
}
