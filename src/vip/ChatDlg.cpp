#include "vip/ChatDlg.h"

#include "core/ResourceIds.h"
#include "ui/PageText.h"
#include "vip/VipChatHost.h"

ChatDlg::ChatDlg() : HtmlFrameDialog(res::kChatDialog, ChatFrame()), m_hIcon(res::kAppIcon) {}

ChatDlg::~ChatDlg() = default;

bool ChatDlg::OnInitDialog() {
  HtmlFrameDialog::OnInitDialog();
  CreateBrowser();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  Peer().AddAppWindowStyle();
  SetWindowText("客服");
  return true;
}

std::map<std::string, ui::ExternalMethod> ChatDlg::ExternalMethods() {
  // They answer nothing.
  return {{"getGsName",
           [this](const std::vector<std::string>& args) {
             getGsName(args.empty() ? std::string() : args[0]);
             return std::string();
           }},
          {"getNewMsg", [this](const std::vector<std::string>& args) {
             getNewMsg(args.empty() ? std::string() : args[0]);
             return std::string();
           }}};
}

void ChatDlg::Navigate(const std::string& url) {
  if (Browser()) Browser()->Navigate(url);
}

void ChatDlg::getGsName(const std::string& name) {
  SetWindowText(ui::IsolatePageText(name) + " 正在和您通话");
  if (IsWindowVisible()) PaintFrame();
  if (m_pGameDlg) m_pGameDlg->ShowVipButton(name);
}

void ChatDlg::getNewMsg(const std::string& /*text*/) {
  if (m_pGameDlg) m_pGameDlg->LightVipButton();
}
