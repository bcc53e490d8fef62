#include "app/CKQVClientApp.h"

#include "core/ExecutableName.h"
#include "core/PlatformConfig.h"
#include "gamewnd/ChtmlbrowserDlg.h"
#include "launcher/CKQVClientDlg.h"
#include "ui/Platform.h"
#include "vip/VipServiceInfo.h"

CKQVClientDlg* g_pSplashDlg = nullptr;

namespace {
CKQVClientApp* g_pCurrentApp = nullptr;
}

CKQVClientApp::CKQVClientApp() : m_dwRestartManagerSupportFlags(1), m_previous(g_pCurrentApp) { g_pCurrentApp = this; }

CKQVClientApp::~CKQVClientApp() { g_pCurrentApp = m_previous; }

namespace {
// Made during static initialisation, after the settings store and the service
// record, as the rest of the system expects; all live until the process ends.
// An application object made later (a test's) is current while it lives.
CKQVClientApp* const g_pProcessApp = (PlatformConfig::Instance(), VipServiceInfo::Instance(), new CKQVClientApp());
}  // namespace

CKQVClientApp& App() { return g_pCurrentApp ? *g_pCurrentApp : *g_pProcessApp; }

bool CKQVClientApp::InitInstance() {
  // Common controls and control hosting are started by the backend's entry
  // point, before the platform is handed over.
  PlatformConfig::Instance();
  if (m_dwRestartManagerSupportFlags & 1) ui::GetPlatform().RegisterForRestart();

  if (!g_pSplashDlg) {
    m_splash = std::make_unique<CKQVClientDlg>([this](const std::string& url) { GameUrl = url; });
    g_pSplashDlg = m_splash.get();
  }
  if (g_pSplashDlg->DoModal() != ui::kIdOk) return false;
  if (g_pSplashDlg->IsWindow()) g_pSplashDlg->DestroyWindow();
  g_pSplashDlg = nullptr;

  m_game = std::make_unique<ChtmlbrowserDlg>(GameUrl);
  m_game->DoModal();
  return false;
}

std::string CKQVClientApp::ExeName() const { return ExecutableBaseName(); }
