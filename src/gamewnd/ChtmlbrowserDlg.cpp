#include "gamewnd/ChtmlbrowserDlg.h"

#include "core/ResourceIds.h"
#include "core/CloseQuestion.h"
#include "core/ExecutableName.h"
#include "core/PlatformConfig.h"
#include "gamewnd/BrowserCache.h"
#include "gamewnd/FileVersionString.h"
#include "ui/PageText.h"
#include "ui/Platform.h"
#include "vip/ChatDlg.h"
#include "vip/VipChat.h"

namespace {

enum CaptionButton { kHome = 10, kCharge = 11, kRefresh = 12, kClean = 13, kVip = 14 };

}  // namespace

ChtmlbrowserDlg::ChtmlbrowserDlg(std::string gameUrl)
    : HtmlFrameDialog(res::kGameDialog, GameFrame()), m_hIcon(res::kAppIcon), m_strGameUrl(std::move(gameUrl)) {}

ChtmlbrowserDlg::~ChtmlbrowserDlg() = default;

ChatDlg* ChtmlbrowserDlg::AdoptChat(std::unique_ptr<ChatDlg> chat) {
  m_chat = std::move(chat);
  m_pChatDlg = m_chat.get();
  m_bChatCreated = m_pChatDlg != nullptr;
  return m_pChatDlg;
}

std::map<std::string, ui::ExternalMethod> ChtmlbrowserDlg::ExternalMethods() {
  return {{"getAppVersion", [](const std::vector<std::string>&) { return GetFileVersionString(); }}};
}

bool ChtmlbrowserDlg::OnInitDialog() {
  HtmlFrameDialog::OnInitDialog();
  CreateBrowser();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  NavigateGame(m_strGameUrl);
  ShowWindow(ui::ShowCommand::Maximize);
  return true;
}

void ChtmlbrowserDlg::NavigateGame(std::string address) {
  if (address.empty()) return;
  if (Browser()) Browser()->Navigate(address);
  if (PlatformConfig::Instance().Get("platform") == "360") StartVipChat(address);
}

void ChtmlbrowserDlg::StartVipChat(const std::string& address) { ::StartVipChat(address, *this); }

void ChtmlbrowserDlg::OnCaptionButton(int id) {
  switch (id) {
    case kHome:
      ui::GetPlatform().OpenInSystemBrowser(PlatformConfig::Instance().Get("home"));
      break;
    case kCharge:
      ui::GetPlatform().OpenInSystemBrowser(PlatformConfig::Instance().Get("charge"));
      break;
    case kRefresh:
      NavigateGame(m_strGameUrl);
      break;
    case kClean:
      if (MessageBox("确定清理浏览器缓存？", "清理提示", ui::kMbYesNo) == ui::kIdYes) CleanBrowserCache(*this);
      break;
    case kVip:
      if (m_pChatDlg && !m_pChatDlg->IsWindowVisible()) m_pChatDlg->ShowWindow(ui::ShowCommand::Show);
      break;
    default:
      break;
  }
}

void ChtmlbrowserDlg::OnClose() {
  // The question's own message loop can bring another close (a second
  // WM_CLOSE, the window manager again), and so can the time between Yes and
  // the window going: those ask nothing and start nothing.
  if (m_closing != Closing::No) return;
  m_closing = Closing::Asking;
  if (MessageBox(kCloseQuestionText, kCloseQuestionCaption, ui::kMbYesNo) != ui::kIdYes) {
    m_closing = Closing::No;
    return;
  }
  m_closing = Closing::Ended;
  RestartSelf();
  EndDialog(ui::kIdCancel);
}

void ChtmlbrowserDlg::RestartSelf() {
  ui::Platform& platform = ui::GetPlatform();
  const std::string path = PlatformConfig::Instance().ModuleDir() + platform.PathSeparator() + ExecutableBaseName() +
                           platform.ExecutableSuffix();
  platform.StartProcess(path, "");  // a failed start is not reported
}

void ChtmlbrowserDlg::ShowVipButton(std::string name) {
  if (name.empty()) return;
  CDUIButton& vip = Button(kVip);
  vip.m_bVisible = true;
  vip.m_strText = ui::IsolatePageText(name);
  PaintFrame();
}

void ChtmlbrowserDlg::LightVipButton() {
  CDUIButton& vip = Button(kVip);
  vip.m_bVisible = true;
  vip.m_bAttention = true;
  PaintFrame();
}
