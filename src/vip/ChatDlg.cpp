#include "vip/ChatDlg.h"

#include "app/ResourceIds.h"
#include "gamewnd/ChtmlbrowserDlg.h"

namespace {

constexpr int kBrowserControlId = 102;
constexpr int kVipButton = 14;

}  // namespace

ChatDlg::ChatDlg() : SkinnedFrame(res::kChatDialog, ChatFrame()), m_hIcon(res::kAppIcon) {}

ChatDlg::~ChatDlg() = default;

bool ChatDlg::OnInitDialog() {
  SkinnedFrame::OnInitDialog();
  m_browser = Peer().CreateBrowser(kBrowserControlId, GetClientRect(), *this);
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  Peer().AddAppWindowStyle();
  InstallHostChoices();
  SetWindowText("客服");
  if (m_browser) m_browser->SetSilent(true);
  return true;
}

void ChatDlg::InstallHostChoices() {
  if (m_hostChoicesInstalled || !m_browser) return;
  ui::HostChoices choices;
  choices.contextMenu = true;
  choices.border3d = false;
  choices.scrollBars = false;
  // Pages from any address may call them; they answer nothing.
  choices.external["getGsName"] = [this](const std::vector<std::string>& args) {
    getGsName(args.empty() ? std::string() : args[0]);
    return std::string();
  };
  choices.external["getNewMsg"] = [this](const std::vector<std::string>& args) {
    getNewMsg(args.empty() ? std::string() : args[0]);
    return std::string();
  };
  m_hostChoicesInstalled = m_browser->InstallHostChoices(choices);
}

void ChatDlg::Navigate(const std::string& url) {
  if (m_browser) m_browser->Navigate(url);
}

void ChatDlg::OnNavigateComplete2(const std::string& /*url*/, bool topLevel) {
  if (!topLevel || !m_browser) return;
  InstallHostChoices();
  SetWindowText(m_browser->Title());
  if (IsWindowVisible()) PaintFrame();  // the title is ours to draw
}

void ChatDlg::OnSizeClient(ui::SizeType type, int cx, int cy) {
  if (m_browser && type != ui::SizeType::Minimized) m_browser->Move(ui::Rect{0, 0, cx, cy}, true);
}

bool ChatDlg::PreTranslateMessage(const ui::Message& message) {
  // Straight to the page, so that the dialog manager never sees them.
  if (message.kind == ui::Message::Kind::KeyDown && (message.key == ui::kVkReturn || message.key == ui::kVkEscape)) {
    Peer().DispatchToTarget(message);
    return true;
  }
  return SkinnedFrame::PreTranslateMessage(message);
}

void ChatDlg::getGsName(const std::string& name) {
  SetWindowText(name + " 正在和您通话");
  if (IsWindowVisible()) PaintFrame();
  if (m_pGameDlg) m_pGameDlg->ShowVipButton(name);
}

void ChatDlg::getNewMsg(const std::string& /*text*/) {
  if (!m_pGameDlg) return;
  CDUIButton& vip = m_pGameDlg->Button(kVipButton);
  vip.m_bVisible = true;
  vip.m_bAttention = true;
  m_pGameDlg->PaintFrame();
}
