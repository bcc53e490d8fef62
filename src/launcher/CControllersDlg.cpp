#include "launcher/CControllersDlg.h"

#include "core/ResourceIds.h"
#include "core/CloseQuestion.h"
#include "core/PageKeys.h"
#include "core/PlatformConfig.h"
#include "core/StartUrl.h"
#include "launcher/CDocHostUIHandlerImpl.h"
#include "launcher/DragAnywhere.h"
#include "launcher/FirstOpenReport.h"
#include "launcher/GameClientLaunch.h"
#include "launcher/GameEntryRules.h"
#include "launcher/IconicPaint.h"
#include "ui/Platform.h"

CDocHostUIHandlerImpl* g_pDocHostUIHandler = nullptr;

namespace {

struct OverlayButton {
  int id;
  int normalBitmap;
  int pressedBitmap;
  int x;  // negative: measured back from the overlay's right edge
  int y;
  int width;
  int height;
  const char* setting;  // the page it opens; none for the close button
};

// In the order the buttons are set up.
constexpr OverlayButton kButtons[] = {
    {CControllersDlg::kCloseButtonId, res::kCloseBitmap, res::kClosePressedBitmap, -62, 251, 23, 23, nullptr},
    {CControllersDlg::kHomeButtonId, res::kHomeBitmap, res::kHomePressedBitmap, 566, 244, 118, 35, "home"},
    {CControllersDlg::kForumButtonId, res::kForumBitmap, res::kForumPressedBitmap, 890, 244, 118, 35, "bbs"},
    {CControllersDlg::kServiceButtonId, res::kServiceBitmap, res::kServicePressedBitmap, 1059, 244, 118, 35, "service"},
    {CControllersDlg::kChargeButtonId, res::kChargeBitmap, res::kChargePressedBitmap, 733, 244, 118, 35, "charge"},
};

constexpr const char* kBlankPage = "about:blank";

ui::Rect BrowserPlacement(const std::string& platform) {
  return platform == "6711" ? ui::Rect::FromXYWH(317, 114, 681, 500) : ui::Rect::FromXYWH(423, 284, 896, 487);
}

}  // namespace

CControllersDlg::CControllersDlg(GameUrlSink handOff)
    : ui::Dialog(res::kOverlayDialog), m_hIcon(res::kAppIcon), m_handOff(std::move(handOff)) {}

bool CControllersDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  m_browser.Create(*this, ui::Rect::FromXYWH(0, 0, 1, 1), kBrowserControlId, *this);
  Peer().AddLayeredStyle();
  Peer().SetColorKey(kColorKey);
  SetupControls();
  PlatformConfig::Instance().LoadDefaults();
  ReportFirstOpen();
  if (m_browser.get_ReadyState() == 4) m_browser.Navigate(kBlankPage);
  return true;
}

void CControllersDlg::SetupControls() {
  for (const OverlayButton& button : kButtons)
    Peer().AttachPictureButton(button.id, button.normalBitmap, button.pressedBitmap);
  // Shown once and hidden again, then parked out of sight until a page of
  // the platform has loaded.
  m_browser.put_Visible(true);
  m_browser.put_Visible(false);
  m_browser.MoveWindow(ui::Rect::FromXYWH(2000, 2000, 1, 1), true);
  m_browser.put_Silent(true);
}

void CControllersDlg::PlaceControls() {
  // Moves during creation come before the controls exist.
  if (!Peer().HasControl(kCloseButtonId)) return;
  const int width = GetWindowRect().Width();
  for (const OverlayButton& button : kButtons) {
    const int x = button.x < 0 ? width + button.x : button.x;
    Peer().MoveControl(button.id, ui::Rect::FromXYWH(x, button.y, button.width, button.height), true);
  }
}

void CControllersDlg::OnMove(int, int) {
  Default();
  PlaceControls();
}

bool CControllersDlg::OnCommand(int id) {
  if (id == kCloseButtonId) {
    CloseWithConfirmation();
    return true;
  }
  for (const OverlayButton& button : kButtons) {
    if (button.id == id && button.setting) {
      ui::GetPlatform().OpenInSystemBrowser(PlatformConfig::Instance().Get(button.setting));
      return true;
    }
  }
  return ui::Dialog::OnCommand(id);
}

void CControllersDlg::CloseWithConfirmation() {
  if (MessageBox(kCloseQuestionText, kCloseQuestionCaption, ui::kMbYesNo) == ui::kIdYes) {
    ui::GetPlatform().PostQuit(0);
  }
}

ui::Hit CControllersDlg::OnNcHitTest(ui::Point) { return ClientAsCaption(static_cast<ui::Hit>(Default())); }

void CControllersDlg::OnPaint(ui::Canvas& canvas) { PaintIconOrDefault(*this, canvas, m_hIcon); }

int CControllersDlg::OnQueryDragIcon() { return m_hIcon; }

// The base cancel: the overlay ends as a dialog, the launcher goes on.
void CControllersDlg::OnClose() { EndDialog(ui::kIdCancel); }

bool CControllersDlg::PreTranslateMessage(const ui::Message& message) {
  // Ids 1 and 2, OK and cancel to the dialog manager, are the close and forum
  // buttons here.
  if (SendDialogKeysToPage(Peer(), message)) return true;
  return ui::Dialog::PreTranslateMessage(message);
}

void CControllersDlg::DestroyWindow() {
  m_browser.DestroyWindow();
  if (g_pDocHostUIHandler) {
    g_pDocHostUIHandler->Release();
    g_pDocHostUIHandler = nullptr;
  }
  ui::Dialog::DestroyWindow();
}

void CControllersDlg::OnDocumentComplete(const std::string& url) {
  if (!g_pDocHostUIHandler) {
    // The first document, normally the blank page: install the host hooks,
    // then open the platform's login page. Without a document the hooks
    // wait for the next completed one.
    if (m_browser.get_Document()) {
      g_pDocHostUIHandler = new CDocHostUIHandlerImpl();
      if (m_browser.get_Document()) m_browser.SetUIHandler(g_pDocHostUIHandler);
    }
    m_browser.Navigate(BuildStartUrl());
    return;
  }
  if (url.find(kBlankPage) != std::string::npos) return;
  // Every completed page or frame places the browser in the panel again.
  m_browser.MoveWindow(BrowserPlacement(PlatformConfig::Instance().Get("platform")), true);
  m_browser.put_Visible(true);
}

void CControllersDlg::OnBeforeNavigate2(const std::string& url, bool& cancel) {
  PlatformConfig& config = PlatformConfig::Instance();
  if (!IsGameEntryUrl(config.Get("platform"), url)) return;
  cancel = true;
  m_browser.Stop();
  if (config.Get("airclient") == "true") {
    LaunchGameClient(url);
    return;
  }
  if (url.empty()) return;
  // The last matching address before the launcher closes is the one kept.
  if (m_handOff) m_handOff(url);
}
