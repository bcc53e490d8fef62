// The launcher itself on the real backend: the splash and its overlay run
// modally, the overlay's browser is sent to an address on a loopback server,
// and the launcher's answer to BeforeNavigate2 is seen from both ends: what
// the server received and how the launcher ended.
#include <gtest/gtest.h>

// Before any header of the system: windows.h without the renaming macros.
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "WineTestSupport.h"
#include "app/CKQVClientApp.h"
#include "core/PlatformConfig.h"
#include "launcher/CControllersDlg.h"
#include "launcher/CKQVClientDlg.h"
#include "platform/win32/Win32WindowPeer.h"

using wine_tests::LoopbackServer;
using wine_tests::Pump;

namespace {

// Driven from a thread timer inside the launcher's modal loop.
struct Drive {
  std::string url;
  std::string requestLine;  // the request that would show the navigation went out
  const LoopbackServer* server = nullptr;
  bool navigated = false;
  bool requested = false;
  bool timedOut = false;
  ULONGLONG deadline = 0;
};
Drive* g_drive = nullptr;

bool Received(const LoopbackServer& server, const std::string& requestLine) {
  const auto requests = server.Requests();
  return std::find(requests.begin(), requests.end(), requestLine) != requests.end();
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  Drive& drive = *g_drive;
  CControllersDlg* overlay = g_pSplashDlg ? g_pSplashDlg->Overlay() : nullptr;
  if (!drive.navigated) {
    if (!overlay || !overlay->IsWindow() || !overlay->m_browser.Get()) return;
    // The built-in platform, with the hand-off to the game window.
    PlatformConfig::Instance().Set("platform", "360");
    PlatformConfig::Instance().Set("airclient", "false");
    overlay->m_browser.Navigate(drive.url);
    drive.navigated = true;
    drive.deadline = GetTickCount64() + 15000;
    return;
  }
  // An address that proceeds is requested within seconds: then the test ends
  // the launcher itself. A handed-off one ends it from inside.
  if (Received(*drive.server, drive.requestLine)) {
    drive.requested = true;
    g_pSplashDlg->EndDialog(ui::kIdCancel);
  } else if (GetTickCount64() > drive.deadline) {
    drive.timedOut = true;
    g_pSplashDlg->EndDialog(ui::kIdCancel);
  }
}

TEST(LauncherOverlay, BrowserHandsOffTheGameEntryAndLetsOtherPagesLoad) {
  const struct {
    const char* path;
    bool handedOff;
  } cases[] = {
      {"/game/login.php?uid=1&server_id=S12", true},
      {"/mini/other.html", false},
      // The rule is case-sensitive.
      {"/game/Login.php?uid=1&server_id=S12", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    LoopbackServer server;
    CKQVClientApp app;  // a fresh GameUrl
    Drive drive;
    drive.url = server.Url(c.path);
    drive.requestLine = std::string("GET ") + c.path + " HTTP/1.1";
    drive.server = &server;
    g_drive = &drive;
    // Each launcher of this process makes its own overlay.
    g_bOverlayCreated = false;
    CKQVClientDlg splash([&app](const std::string& url) { app.GameUrl = url; });
    g_pSplashDlg = &splash;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &OnTick);
    const int result = splash.DoModal();
    KillTimer(nullptr, timer);
    // A request that was let through late would come in this time.
    if (c.handedOff) Pump(3000);
    const bool requested = Received(server, drive.requestLine);
    if (splash.IsWindow()) splash.DestroyWindow();
    g_pSplashDlg = nullptr;
    g_drive = nullptr;

    ASSERT_TRUE(drive.navigated) << "the overlay's browser never came up";
    EXPECT_FALSE(drive.timedOut);
    EXPECT_EQ(requested, !c.handedOff);
    EXPECT_EQ(result, c.handedOff ? ui::kIdOk : ui::kIdCancel);
    EXPECT_EQ(App().GameUrl, c.handedOff ? drive.url : std::string());
  }
}

}  // namespace
