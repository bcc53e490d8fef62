#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/CKQVClientApp.h"
#include "core/ResourceIds.h"
#include "core/PlatformConfig.h"
#include "launcher/CDocHostUIHandlerImpl.h"
#include "launcher/CControllersDlg.h"
#include "launcher/CKQVClientDlg.h"

namespace {

const ui::Rect kSplashRect = ui::Rect::FromXYWH(118, 19, 1357, 852);
const ui::Rect kPanel = ui::Rect::FromXYWH(423, 284, 896, 487);
const ui::Rect kPanel6711 = ui::Rect::FromXYWH(317, 114, 681, 500);
const ui::Rect kParked = ui::Rect::FromXYWH(2000, 2000, 1, 1);

class OverlayTest : public ::testing::Test {
 protected:
  OverlayTest() {
    g_bOverlayCreated = false;
    g_pSplashDlg = nullptr;
    ForgetHandler();
  }
  ~OverlayTest() override { ForgetHandler(); }

  static void ForgetHandler() {
    if (g_pDocHostUIHandler) g_pDocHostUIHandler->Release();
    g_pDocHostUIHandler = nullptr;
  }

  fake::FakeBrowser& BrowserOf(CControllersDlg& overlay) {
    auto& browsers = fake::PeerOf(overlay).browsers;
    EXPECT_EQ(browsers.size(), 1u);
    return *browsers.at(0);
  }

  fake::FakePlatform platform;
};

TEST_F(OverlayTest, InitialisationKeysTheWindowParksTheBrowserLoadsDefaultsAndOpensABlankPage) {
  PlatformConfig::Instance().Set("page", "stale");
  CControllersDlg overlay;
  ASSERT_TRUE(overlay.Create(nullptr));
  auto& peer = fake::PeerOf(overlay);
  EXPECT_TRUE(peer.layered);
  EXPECT_EQ(peer.colorKey, CControllersDlg::kColorKey);
  EXPECT_FALSE(peer.visible);

  const std::map<int, std::pair<int, int>> pictures{
      {1, {135, 151}}, {4, {155, 159}}, {3, {154, 158}}, {2, {153, 157}}, {5, {156, 160}}};
  ASSERT_EQ(peer.controls.size(), pictures.size());
  for (const auto& [id, bitmaps] : pictures) {
    EXPECT_EQ(peer.controls[id].normal, bitmaps.first) << id;
    EXPECT_EQ(peer.controls[id].pressed, bitmaps.second) << id;
  }

  auto& browser = BrowserOf(overlay);
  EXPECT_EQ(browser.controlId, 1001);
  EXPECT_EQ(browser.visibleCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(browser.placement, kParked);
  EXPECT_TRUE(browser.silent);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"about:blank"});

  EXPECT_EQ(PlatformConfig::Instance().Get("page"), "http://127.0.0.1:47800/mini/login.html");
  EXPECT_TRUE(platform.httpRequests.empty()) << "no first-open report on this platform";
}

TEST_F(OverlayTest, ABrowserThatIsNotReadyGetsNoBlankPage) {
  platform.onBrowserCreated = [](fake::FakeBrowser& browser) { browser.readyState = 1; };
  CControllersDlg overlay;
  overlay.Create(nullptr);
  EXPECT_TRUE(BrowserOf(overlay).navigations.empty());
}

TEST_F(OverlayTest, ButtonsFollowEveryMoveAtTheirPlaces) {
  CControllersDlg overlay;
  overlay.Create(nullptr);
  auto& peer = fake::PeerOf(overlay);
  peer.SendMove(kSplashRect);
  EXPECT_EQ(peer.controls[1].rect, ui::Rect::FromXYWH(1295, 251, 23, 23));
  EXPECT_EQ(peer.controls[4].rect, ui::Rect::FromXYWH(566, 244, 118, 35));
  EXPECT_EQ(peer.controls[3].rect, ui::Rect::FromXYWH(733, 244, 118, 35));
  EXPECT_EQ(peer.controls[2].rect, ui::Rect::FromXYWH(890, 244, 118, 35));
  EXPECT_EQ(peer.controls[5].rect, ui::Rect::FromXYWH(1059, 244, 118, 35));
  // The close button keeps its distance from the right edge.
  peer.SendMove(ui::Rect::FromXYWH(0, 0, 1000, 600));
  EXPECT_EQ(peer.controls[1].rect, ui::Rect::FromXYWH(938, 251, 23, 23));
  EXPECT_EQ(BrowserOf(overlay).placement, kParked) << "moves do not place the browser";
}

TEST_F(OverlayTest, FirstDocumentInstallsTheHooksOnceThenPagesPlaceTheBrowser) {
  platform.commandLine = R"(-url "http://s.example/mini/login.html?u=1")";
  CControllersDlg overlay;
  overlay.Create(nullptr);
  auto& browser = BrowserOf(overlay);

  browser.RaiseDocumentComplete("about:blank");
  ASSERT_NE(g_pDocHostUIHandler, nullptr);
  EXPECT_EQ(browser.uiHandler, g_pDocHostUIHandler);
  EXPECT_EQ(browser.navigations.back(), "http://s.example/mini/login.html?u=1");
  EXPECT_EQ(browser.placement, kParked);
  EXPECT_FALSE(browser.visible);

  // Blank frames, wherever the text stands, neither place nor show it.
  browser.RaiseDocumentComplete("http://s.example/x?next=about:blank");
  EXPECT_EQ(browser.placement, kParked);
  EXPECT_FALSE(browser.visible);

  browser.RaiseDocumentComplete("http://s.example/mini/frame.html");
  browser.RaiseDocumentComplete("http://s.example/mini/login.html?u=1");
  EXPECT_EQ(browser.placement, kPanel);
  EXPECT_TRUE(browser.visible);
  EXPECT_EQ(browser.handlerInstalls, 1);
  EXPECT_EQ(browser.navigations.size(), 2u) << "the start page is opened once";

  // Each completion places it again, with the platform of the moment.
  PlatformConfig::Instance().Set("platform", "6711");
  browser.RaiseDocumentComplete("http://s.example/mini/login.html?u=1");
  EXPECT_EQ(browser.placement, kPanel6711);
}

TEST_F(OverlayTest, WithoutADocumentTheStartPageOpensAndTheNextCompletionInstallsTheHooks) {
  CControllersDlg overlay;
  overlay.Create(nullptr);
  auto& browser = BrowserOf(overlay);
  browser.hasDocument = false;
  browser.RaiseDocumentComplete("about:blank");
  EXPECT_EQ(g_pDocHostUIHandler, nullptr);
  EXPECT_EQ(browser.navigations.back(), "http://127.0.0.1:47800/mini/login.html");

  browser.hasDocument = true;
  browser.RaiseDocumentComplete("http://127.0.0.1:47800/mini/login.html");
  EXPECT_NE(g_pDocHostUIHandler, nullptr);
  EXPECT_EQ(browser.handlerInstalls, 1);
  EXPECT_EQ(browser.navigations.size(), 3u) << "the start page is opened once more";
  EXPECT_EQ(browser.placement, kParked);
}

TEST_F(OverlayTest, DestructionReleasesTheBrowserThenTheHandlerExactlyOnce) {
  CControllersDlg overlay;
  overlay.Create(nullptr);
  auto& browser = BrowserOf(overlay);
  browser.RaiseDocumentComplete("about:blank");
  ASSERT_NE(g_pDocHostUIHandler, nullptr);

  overlay.DestroyWindow();
  EXPECT_TRUE(browser.destroyed);
  EXPECT_EQ(browser.lastHandlerRelease, 1u) << "the overlay still held its reference";
  EXPECT_EQ(browser.uiHandler, nullptr);
  EXPECT_EQ(g_pDocHostUIHandler, nullptr);
  EXPECT_FALSE(overlay.IsWindow());
  overlay.DestroyWindow();  // a second destruction has nothing left to release
}

TEST_F(OverlayTest, CloseButtonAsksAndQuitsOnlyOnYes) {
  CControllersDlg overlay;
  overlay.Create(nullptr);
  for (int answer : {ui::kIdNo, ui::kIdYes}) {
    platform.onMessageBox = [&](const std::string&, const std::string&, unsigned) { return answer; };
    fake::PeerOf(overlay).SendCommand(1);
    EXPECT_EQ(platform.quitPosted, answer == ui::kIdYes);
    EXPECT_TRUE(overlay.IsWindow());
  }
  ASSERT_EQ(platform.messageBoxes.size(), 2u);
  EXPECT_EQ(platform.messageBoxes[0].text, "正在游戏中，确定退出《Qelunar》？");
  EXPECT_EQ(platform.messageBoxes[0].caption, "关闭提示");
  EXPECT_EQ(platform.messageBoxes[0].style, ui::kMbYesNo);
}

TEST_F(OverlayTest, PageButtonsOpenTheirSettingsInTheSystemBrowser) {
  CControllersDlg overlay;
  overlay.Create(nullptr);
  PlatformConfig::Instance().Set("charge", "");
  for (int id : {4, 3, 2, 5}) fake::PeerOf(overlay).SendCommand(id);
  EXPECT_EQ(platform.opened, (std::vector<std::string>{"http://127.0.0.1:47800/index.html", "",
                                                       "http://127.0.0.1:47800/forum-2959-1.html",
                                                       "http://127.0.0.1:47800/cs?type=game&gamekey=qelu"}));
  EXPECT_TRUE(BrowserOf(overlay).navigations.size() == 1u) << "not in the embedded browser";
  EXPECT_TRUE(platform.messageBoxes.empty());
}

TEST_F(OverlayTest, ReturnAndEscapeGoStraightToThePage) {
  CKQVClientDlg splash;
  splash.Create(nullptr);
  CControllersDlg& overlay = *splash.Overlay();
  auto& peer = fake::PeerOf(overlay);
  EXPECT_TRUE(peer.SendKeyDown(ui::kVkReturn));
  EXPECT_TRUE(peer.SendKeyDown(ui::kVkEscape));
  ASSERT_EQ(peer.dispatched.size(), 2u);
  EXPECT_EQ(peer.dispatched[0].key, ui::kVkReturn);
  EXPECT_EQ(peer.dispatched[1].key, ui::kVkEscape);
  EXPECT_FALSE(peer.SendKeyDown('A'));
  EXPECT_EQ(peer.dispatched.size(), 2u);
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_TRUE(overlay.IsWindow());
  EXPECT_TRUE(splash.IsWindow());
  // The window-close request ends only the overlay.
  peer.SendClose();
  EXPECT_EQ(peer.log.back(), "end 2");
  EXPECT_TRUE(fake::PeerOf(splash).log.back() != "end 2");
}

// The launcher run by the application, with a script for its modal loop.
class HandOffTest : public OverlayTest {
 protected:
  void RunLauncher(std::function<void(fake::FakeBrowser&)> script) {
    platform.onModal[res::kSplashDialog] = [&](fake::FakeWindowPeer&) {
      ASSERT_FALSE(platform.browsers.empty());
      script(*platform.browsers.front());
    };
    platform.onModal[res::kGameDialog] = [&](fake::FakeWindowPeer& game) {
      gameNavigations = game.browsers.at(0)->navigations;
    };
    app.InitInstance();
  }

  CKQVClientApp app;
  std::optional<std::vector<std::string>> gameNavigations;
};

const std::string kEntry = "http://s12.g.example/login.php?uid=7&server_id=S12";

TEST_F(HandOffTest, MatchingNavigationIsCancelledAndOpensTheGameWindow) {
  RunLauncher([](fake::FakeBrowser& browser) {
    EXPECT_FALSE(browser.RaiseBeforeNavigate2("http://127.0.0.1:47800/mini/login.html"));
    EXPECT_EQ(browser.stops, 0);
    EXPECT_TRUE(browser.RaiseBeforeNavigate2(kEntry));
    EXPECT_EQ(browser.stops, 1);
    // A frame's matching navigation before the launcher closes replaces it.
    EXPECT_TRUE(browser.RaiseBeforeNavigate2(kEntry + "&frame=1"));
  });
  EXPECT_EQ(app.GameUrl, kEntry + "&frame=1");
  EXPECT_EQ(gameNavigations, std::vector<std::string>{kEntry + "&frame=1"});
  EXPECT_TRUE(platform.processes.empty());
}

TEST_F(HandOffTest, OnlyExactlyTrueHandsTheGameToTheGameClient) {
  for (const char* value : {"false", "TRUE", "", "true "}) {
    RunLauncher([&](fake::FakeBrowser& browser) {
      PlatformConfig::Instance().Set("airclient", value);
      EXPECT_TRUE(browser.RaiseBeforeNavigate2(kEntry));
    });
    EXPECT_EQ(gameNavigations, std::vector<std::string>{kEntry}) << '"' << value << '"';
    EXPECT_TRUE(platform.processes.empty());
    gameNavigations.reset();
    g_pSplashDlg = nullptr;
    g_bOverlayCreated = false;
    platform.browsers.clear();
  }
}

TEST_F(HandOffTest, GameClientStartsWithTheAddressAndTheLauncherQuits) {
  RunLauncher([](fake::FakeBrowser& browser) {
    PlatformConfig::Instance().Set("airclient", "true");
    EXPECT_TRUE(browser.RaiseBeforeNavigate2(kEntry));
    EXPECT_EQ(browser.stops, 1);
  });
  using Start = std::pair<std::string, std::string>;
  const std::vector<Start> expected{{"C:\\Games\\Client\\game\\KQVClient.exe", " p " + kEntry}};
  EXPECT_EQ(platform.processes, expected);
  EXPECT_TRUE(platform.quitPosted);
  EXPECT_FALSE(gameNavigations) << "no game window";
  EXPECT_EQ(app.GameUrl, "");
}

TEST_F(HandOffTest, AFailedGameClientStartLeavesTheLauncherOnTheStoppedPage) {
  platform.processStartSucceeds = false;
  bool stillOpen = false;
  RunLauncher([&](fake::FakeBrowser& browser) {
    PlatformConfig::Instance().Set("airclient", "true");
    EXPECT_TRUE(browser.RaiseBeforeNavigate2(kEntry));
    stillOpen = g_pSplashDlg && g_pSplashDlg->IsWindow() && !platform.quitPosted;
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(platform.processes.size(), 1u);
  EXPECT_EQ(fake::PeerOf(*g_pSplashDlg).log.back(), "destroy") << "ended only by the script's end";
  EXPECT_FALSE(gameNavigations);
}

}  // namespace
