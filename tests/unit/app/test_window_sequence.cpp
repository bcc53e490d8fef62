#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/CKQVClientApp.h"
#include "core/ResourceIds.h"
#include "launcher/CKQVClientDlg.h"

namespace {

class WindowSequenceTest : public ::testing::Test {
 protected:
  WindowSequenceTest() {
    g_pSplashDlg = nullptr;
    g_bOverlayCreated = false;
  }

  // Runs the application with a script for the launcher's modal loop and
  // reports whether a game window was run.
  bool RunWithLauncher(std::function<void(fake::FakeWindowPeer&)> launcher) {
    platform.onModal[res::kSplashDialog] = std::move(launcher);
    platform.onModal[res::kGameDialog] = [this](fake::FakeWindowPeer& game) {
      gameRan = true;
      splashWhileGame = g_pSplashDlg;
      gameNavigations = game.browsers.empty() ? std::vector<std::string>{} : game.browsers[0]->navigations;
      gameMaximized = game.zoomed;
    };
    EXPECT_FALSE(app.InitInstance());
    return gameRan;
  }

  fake::FakePlatform platform;
  CKQVClientApp app;
  bool gameRan = false;
  bool gameMaximized = false;
  CKQVClientDlg* splashWhileGame = reinterpret_cast<CKQVClientDlg*>(1);
  std::vector<std::string> gameNavigations;
};

TEST_F(WindowSequenceTest, OkRunsTheGameWindowWithTheStoredAddress) {
  const std::string url = "http://game.example/login.php?a=1&server_id=S12";
  EXPECT_TRUE(RunWithLauncher([&](fake::FakeWindowPeer& splash) {
    EXPECT_EQ(&splash.window, g_pSplashDlg);
    App().GameUrl = url;
    g_pSplashDlg->EndDialog(ui::kIdOk);
  }));
  EXPECT_EQ(splashWhileGame, nullptr);
  EXPECT_EQ(gameNavigations, std::vector<std::string>{url});
  EXPECT_TRUE(gameMaximized);
  EXPECT_EQ(platform.Windows(res::kSplashDialog).at(0)->exists, false);
  EXPECT_EQ(platform.restartRegistrations, 1);  // restart only, once, at start-up
}

TEST_F(WindowSequenceTest, EveryOtherLauncherOutcomeEndsWithoutAGameWindow) {
  const struct {
    const char* name;
    std::function<void(fake::FakeWindowPeer&)> script;
  } outcomes[] = {
      {"window-close request", [](fake::FakeWindowPeer& splash) { splash.SendClose(); }},
      {"quit request", [](fake::FakeWindowPeer&) { ui::GetPlatform().PostQuit(0); }},
      {"cancel", [](fake::FakeWindowPeer&) { g_pSplashDlg->EndDialog(ui::kIdCancel); }},
      {"Return and Escape only",
       [](fake::FakeWindowPeer& splash) {
         splash.SendKeyDown(ui::kVkReturn);
         splash.SendKeyDown(ui::kVkEscape);
         splash.SendClose();
       }},
  };
  for (const auto& outcome : outcomes) {
    fake::FakePlatform local;
    CKQVClientApp localApp;
    g_pSplashDlg = nullptr;
    g_bOverlayCreated = false;
    bool gameShown = false;
    local.onModal[res::kSplashDialog] = outcome.script;
    local.onModal[res::kGameDialog] = [&](fake::FakeWindowPeer&) { gameShown = true; };
    EXPECT_FALSE(localApp.InitInstance()) << outcome.name;
    EXPECT_FALSE(gameShown) << outcome.name;
    EXPECT_TRUE(local.Windows(res::kGameDialog).empty()) << outcome.name;
  }
}

}  // namespace
