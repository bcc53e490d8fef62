#include "skin/HtmlFrameDialog.h"

#include "core/PageKeys.h"

namespace {
constexpr int kBrowserControlId = 102;
}

void HtmlFrameDialog::CreateBrowser() {
  // Dark like the frame's body until the page paints, from the window's
  // first frame on: no light flash when the window appears.
  Peer().SetBackgroundColor(Variant().bodyColor);
  m_browser = Peer().CreateBrowser(kBrowserControlId, GetClientRect(), *this);
  if (!m_browser) return;
  m_browser->SetBackgroundColor(Variant().bodyColor);
  m_browser->SetSilent(true);
  InstallHostChoices();
}

void HtmlFrameDialog::InstallHostChoices() {
  if (m_hostChoicesInstalled || !m_browser) return;
  ui::HostChoices choices;
  choices.contextMenu = true;  // the browser's own menu
  choices.border3d = false;
  choices.scrollBars = false;
  choices.external = ExternalMethods();
  m_hostChoicesInstalled = m_browser->InstallHostChoices(choices);
}

void HtmlFrameDialog::OnNavigateComplete2(const std::string& /*url*/, bool topLevel) {
  if (!topLevel || !m_browser) return;
  // A browser that had no document at start-up takes the hooks now.
  InstallHostChoices();
  SetWindowText(m_browser->Title());
  // The title is ours to draw: the platform never paints this caption.
  if (IsWindowVisible()) PaintFrame();
}

void HtmlFrameDialog::OnSizeClient(ui::SizeType type, int cx, int cy) {
  if (m_browser && type != ui::SizeType::Minimized) m_browser->Move(ui::Rect{0, 0, cx, cy}, true);
}

bool HtmlFrameDialog::PreTranslateMessage(const ui::Message& message) {
  if (SendDialogKeysToPage(Peer(), message)) return true;
  return SkinnedFrame::PreTranslateMessage(message);
}
