// The game window on the fake: start-up, its caption actions, the title that
// follows the page, closing with a restart, and the version for scripts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "core/ResourceIds.h"
#include "core/PlatformConfig.h"
#include "gamewnd/ChtmlbrowserDlg.h"
#include "gamewnd/FileVersionString.h"
#include "vip/ChatDlg.h"

namespace {

using fake::PeerOf;

constexpr char kGameUrl[] = "http://game.example/login.php?a=1&server_id=S12";

// The game window with the VIP chat start recorded instead of run.
class GameWindow : public ChtmlbrowserDlg {
 public:
  using ChtmlbrowserDlg::ChtmlbrowserDlg;
  std::vector<std::string> chatStarts;

 protected:
  void StartVipChat(const std::string& address) override { chatStarts.push_back(address); }
};

class GameWindowTest : public testing::Test {
 protected:
  GameWindowTest() {
    auto& config = PlatformConfig::Instance();
    config.LoadDefaults();
    config.Set("platform", "baidu");
    config.Set("home", "http://home.example/");
    config.Set("charge", "http://pay.example/charge");
  }
  ~GameWindowTest() override { PlatformConfig::Instance().LoadDefaults(); }

  // Creates the window at 1000 x 700 and runs its start-up.
  void Open() {
    PeerOf(window).rect = ui::Rect::FromXYWH(0, 0, 1000, 700);
    ASSERT_TRUE(window.Create(nullptr));
    PeerOf(window).SendSize(ui::SizeType::Restored);
    ASSERT_EQ(PeerOf(window).browsers.size(), 1u);
  }
  fake::FakeBrowser& Browser() { return *PeerOf(window).browsers.at(0); }
  void Release(int x, int y) { PeerOf(window).SendNcButtonUp({x, y}); }

  fake::FakePlatform platform;
  GameWindow window{kGameUrl};
};

// Caption buttons at 1000 wide: 10 at x 735, 11 at 780, 13 at 825, 12 at 870,
// 112 at 926, 111 at 948, 110 at 970, all at y 10..30; VIP 14 at 605..715.
constexpr int kY = 15;

TEST_F(GameWindowTest, StartUpShowsTheGamePageMaximisedWithItsHostChoices) {
  Open();
  fake::FakeWindowPeer& peer = PeerOf(window);
  EXPECT_EQ(peer.bigIcon, res::kAppIcon);
  EXPECT_EQ(peer.smallIcon, res::kAppIcon);
  EXPECT_EQ(Browser().controlId, 102);
  EXPECT_TRUE(Browser().silent);
  EXPECT_EQ(Browser().background, (ui::Color{26, 20, 18, 255}));  // the frame's body, not white
  EXPECT_EQ(peer.background, (ui::Color{26, 20, 18, 255}));       // the window's too, before it shows
  EXPECT_EQ(Browser().navigations, (std::vector<std::string>{kGameUrl}));
  EXPECT_TRUE(peer.zoomed);
  // Icons first, shown maximised last.
  std::vector<std::string> steps;
  for (const std::string& entry : peer.log) {
    if (entry == "background" || entry == "icon-big" || entry == "icon-small" || entry == "show 3") {
      steps.push_back(entry);
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"background", "icon-big", "icon-small", "show 3"}));
  const ui::HostChoices& choices = Browser().hostChoices;
  EXPECT_TRUE(choices.contextMenu);
  EXPECT_FALSE(choices.border3d);
  EXPECT_FALSE(choices.scrollBars);
  ASSERT_EQ(choices.external.size(), 1u);
  EXPECT_EQ(choices.external.count("getAppVersion"), 1u);
  EXPECT_TRUE(window.chatStarts.empty());  // not platform "360"
  // The browser fills the client area at each size.
  EXPECT_EQ(Browser().placement, (ui::Rect{0, 0, 1000, 700}));
}

TEST_F(GameWindowTest, TheGameAddressStartsTheVipChatOnlyOnPlatform360) {
  struct Case {
    const char* platform;
    std::string address;
    size_t navigations, chats;
  };
  const Case cases[] = {
      {"360", kGameUrl, 1, 1}, {"3600", kGameUrl, 1, 0}, {"baidu", kGameUrl, 1, 0}, {"360", "", 0, 0}};
  for (const Case& c : cases) {
    PlatformConfig::Instance().Set("platform", c.platform);
    GameWindow game{c.address};
    PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1000, 700);
    ASSERT_TRUE(game.Create(nullptr));
    EXPECT_EQ(PeerOf(game).browsers.at(0)->navigations.size(), c.navigations) << c.platform << c.address;
    EXPECT_EQ(game.chatStarts.size(), c.chats) << c.platform << c.address;
  }
}

TEST_F(GameWindowTest, TheCaptionButtonsOpenThePagesReloadAndClean) {
  struct Case {
    const char* name;
    int x;
    int answer;  // to the message box
    bool cleaningSucceeds;
    std::vector<std::string> opened;
    size_t navigations;  // of the game page, start-up included
    int cleanings;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"home", 740, ui::kIdNo, true, {"http://home.example/"}, 1, 0, {}},
      {"charge", 785, ui::kIdNo, true, {"http://pay.example/charge"}, 1, 0, {}},
      {"refresh", 875, ui::kIdNo, true, {}, 2, 0, {}},
      {"clean, no", 830, ui::kIdNo, true, {}, 1, 0, {"确定清理浏览器缓存？|清理提示|4"}},
      {"clean, yes", 830, ui::kIdYes, true, {}, 1, 1, {"确定清理浏览器缓存？|清理提示|4", "缓存清理完毕|KQVClient|0"}},
      // Out of memory: it stops without a word.
      {"clean, no memory", 830, ui::kIdYes, false, {}, 1, 1, {"确定清理浏览器缓存？|清理提示|4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform local;
    local.onMessageBox = [&c](const std::string&, const std::string&, unsigned) { return c.answer; };
    local.cacheCleaningSucceeds = c.cleaningSucceeds;
    GameWindow game{kGameUrl};
    PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1000, 700);
    ASSERT_TRUE(game.Create(nullptr));
    PeerOf(game).SendSize(ui::SizeType::Restored);
    PeerOf(game).SendNcButtonUp({c.x, kY});
    EXPECT_EQ(local.opened, c.opened);
    EXPECT_EQ(PeerOf(game).browsers.at(0)->navigations.size(), c.navigations);
    EXPECT_EQ(local.cacheCleanings, c.cleanings);
    std::vector<std::string> boxes;
    for (const auto& box : local.messageBoxes) {
      boxes.push_back(box.text + "|" + box.caption + "|" + std::to_string(box.style));
    }
    EXPECT_EQ(boxes, c.boxes);
  }
}

TEST_F(GameWindowTest, TheVipButtonShowsAHiddenChatWindowOnly) {
  Open();
  Release(650, kY);  // hidden and without a chat window: the caption's
  window.ShowVipButton("小美");
  Release(650, kY);  // no chat window yet: nothing
  ChatDlg* chat = window.AdoptChat(std::make_unique<ChatDlg>());
  ASSERT_TRUE(chat->Create(&window));
  PeerOf(*chat).log.clear();
  Release(650, kY);
  EXPECT_TRUE(chat->IsWindowVisible());
  Release(650, kY);  // already visible: not shown again
  EXPECT_EQ(PeerOf(*chat).log, (std::vector<std::string>{"show 5"}));
}

TEST_F(GameWindowTest, ShowVipButtonNeedsAName) {
  Open();
  PeerOf(window).log.clear();
  window.ShowVipButton("");
  EXPECT_FALSE(window.Button(14).m_bVisible);
  EXPECT_TRUE(PeerOf(window).log.empty());
  window.ShowVipButton("小美");
  EXPECT_TRUE(window.Button(14).m_bVisible);
  EXPECT_EQ(window.Button(14).m_strText, "\u2068小美\u2069");  // isolated, as the page's text
  EXPECT_EQ(PeerOf(window).log, (std::vector<std::string>{"paint-nc"}));
}

TEST_F(GameWindowTest, TheTitleFollowsEachCompletedTopLevelNavigation) {
  Open();
  Browser().title = "仙境 - 一服";
  Browser().RaiseNavigateComplete2("http://game.example/frame.html", false);
  EXPECT_EQ(window.GetWindowText(), "");
  PeerOf(window).log.clear();
  Browser().RaiseNavigateComplete2(kGameUrl, true);
  EXPECT_EQ(window.GetWindowText(), "仙境 - 一服");
  EXPECT_EQ(PeerOf(window).log, (std::vector<std::string>{"paint-nc"}));
  EXPECT_EQ(PeerOf(window).ncCanvas.texts.at(0).text, "仙境 - 一服");
  // A later change by script shows only after the next navigation.
  Browser().title = "改了";
  EXPECT_EQ(window.GetWindowText(), "仙境 - 一服");
}

TEST_F(GameWindowTest, HostChoicesWaitForTheFirstDocumentWhenThereIsNoneAtStartUp) {
  platform.onBrowserCreated = [](fake::FakeBrowser& browser) { browser.hasDocument = false; };
  Open();
  EXPECT_EQ(Browser().installs, 0);
  Browser().hasDocument = true;
  Browser().RaiseNavigateComplete2(kGameUrl, true);
  Browser().RaiseNavigateComplete2(kGameUrl, true);
  EXPECT_EQ(Browser().installs, 1);
}

TEST_F(GameWindowTest, ReturnAndEscapeGoToThePageAndNeverEndTheWindow) {
  Open();
  for (const unsigned key : {ui::kVkReturn, ui::kVkEscape}) EXPECT_TRUE(PeerOf(window).SendKeyDown(key));
  EXPECT_EQ(PeerOf(window).dispatched.size(), 2u);
  PeerOf(window).SendCommand(ui::kIdOk);
  PeerOf(window).SendCommand(ui::kIdCancel);
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_EQ(window.OnQueryDragIcon(), res::kAppIcon);
}

TEST_F(GameWindowTest, EveryCloseRequestAsksAndYesStartsAFreshCopy) {
  struct Case {
    const char* name;
    char separator;
    std::string modulePath, suffix;
    int answer;
    std::vector<std::pair<std::string, std::string>> processes;
  };
  const Case cases[] = {
      {"no", '\\', "C:\\Games\\Client\\KQVClient.exe", ".exe", ui::kIdNo, {}},
      {"windows",
       '\\',
       "C:\\Games\\Client\\KQVClient.exe",
       ".exe",
       ui::kIdYes,
       {{"C:\\Games\\Client\\KQVClient.exe", ""}}},
      {"linux", '/', "/opt/qelunar/KQVClient", "", ui::kIdYes, {{"/opt/qelunar/KQVClient", ""}}},
      // The base name keeps its inner dots; the directory its own characters.
      {"dots and CJK",
       '\\',
       "D:\\游戏\\仙境 v2\\Qelunar.client.v2.exe",
       ".exe",
       ui::kIdYes,
       {{"D:\\游戏\\仙境 v2\\Qelunar.client.v2.exe", ""}}},
      {"linux, CJK", '/', "/home/玩家/游戏/KQVClient", "", ui::kIdYes, {{"/home/玩家/游戏/KQVClient", ""}}},
      {"linux, dots", '/', "/opt/qelunar/kqv.client", "", ui::kIdYes, {{"/opt/qelunar/kqv.client", ""}}},
  };
  using Send = void (*)(fake::FakeWindowPeer&);
  const std::pair<const char*, Send> requests[] = {
      {"drawn button",
       [](fake::FakeWindowPeer& p) {
         p.SendNcButtonUp({975, kY});
       }},
      {"system menu or Alt+F4", [](fake::FakeWindowPeer& p) { p.SendSysCommand(ui::SysCommand::Close); }},
      {"window manager", [](fake::FakeWindowPeer& p) { p.SendClose(); }},
  };
  for (const Case& c : cases) {
    for (const auto& [how, send] : requests) {
      SCOPED_TRACE(std::string(c.name) + ", " + how);
      fake::FakePlatform local;
      local.separator = c.separator;
      local.modulePath = c.modulePath;
      local.executableSuffix = c.suffix;
      local.processStartSucceeds = false;  // a failed start changes nothing
      local.onMessageBox = [&c](const std::string&, const std::string&, unsigned) { return c.answer; };
      PlatformConfig::Instance().LoadDefaults();
      GameWindow game{kGameUrl};
      PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1000, 700);
      PeerOf(game).modal = true;
      ASSERT_TRUE(game.Create(nullptr));
      PeerOf(game).SendSize(ui::SizeType::Restored);
      send(PeerOf(game));
      ASSERT_EQ(local.messageBoxes.size(), 1u);
      EXPECT_EQ(local.messageBoxes[0].text, "正在游戏中，确定退出《Qelunar》？");
      EXPECT_EQ(local.messageBoxes[0].caption, "关闭提示");
      EXPECT_EQ(local.messageBoxes[0].style, ui::kMbYesNo);
      EXPECT_EQ(local.processes, c.processes);
      EXPECT_EQ(PeerOf(game).modalResult, c.answer == ui::kIdYes ? std::optional<int>(ui::kIdCancel) : std::nullopt);
    }
  }
}

// Close requests that come while the question is up (a second WM_CLOSE or
// SC_CLOSE, the window manager again) or after Yes, before the window has
// gone: one close gives at most one question and one fresh copy.
TEST_F(GameWindowTest, CloseRequestsMeanwhileAskNothingMoreAndStartNoSecondCopy) {
  using Send = void (*)(fake::FakeWindowPeer&);
  const std::pair<const char*, Send> requests[] = {
      {"drawn button",
       [](fake::FakeWindowPeer& p) {
         p.SendNcButtonUp({975, kY});
       }},
      {"system command", [](fake::FakeWindowPeer& p) { p.SendSysCommand(ui::SysCommand::Close); }},
      {"window manager", [](fake::FakeWindowPeer& p) { p.SendClose(); }},
  };
  struct Case {
    const char* name;
    bool meanwhile;            // another request while the first question is up
    bool againAfterYes;        // another request once Yes has ended the window
    std::vector<int> answers;  // to the questions in the order they are asked
    std::size_t copies;
    bool ended;
  };
  const Case cases[] = {
      {"meanwhile, yes", true, false, {ui::kIdYes, ui::kIdYes}, 1, true},
      {"meanwhile, yes to the first", true, false, {ui::kIdYes, ui::kIdNo}, 1, true},
      {"meanwhile, no to the first", true, false, {ui::kIdNo, ui::kIdYes}, 0, false},
      {"after yes", false, true, {ui::kIdYes, ui::kIdYes}, 1, true},
  };
  for (const Case& c : cases) {
    for (const auto& [how, send] : requests) {
      SCOPED_TRACE(std::string(c.name) + ", " + how);
      fake::FakePlatform local;
      local.modulePath = "/opt/qelunar/KQVClient";
      local.separator = '/';
      local.executableSuffix = "";
      PlatformConfig::Instance().LoadDefaults();
      GameWindow game{kGameUrl};
      PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1000, 700);
      PeerOf(game).modal = true;
      ASSERT_TRUE(game.Create(nullptr));
      PeerOf(game).SendSize(ui::SizeType::Restored);
      std::size_t asked = 0;
      local.onMessageBox = [&](const std::string&, const std::string&, unsigned) {
        const std::size_t turn = asked++;
        if (turn == 0 && c.meanwhile) send(PeerOf(game));
        return c.answers.at(turn);
      };
      send(PeerOf(game));
      if (c.againAfterYes) send(PeerOf(game));
      EXPECT_EQ(local.messageBoxes.size(), 1u);
      EXPECT_EQ(local.processes.size(), c.copies);
      EXPECT_EQ(PeerOf(game).modalResult.has_value(), c.ended);
    }
  }
  // A No leaves the window as it was: the next close asks again.
  fake::FakePlatform local;
  PlatformConfig::Instance().LoadDefaults();
  GameWindow game{kGameUrl};
  PeerOf(game).modal = true;
  ASSERT_TRUE(game.Create(nullptr));
  local.onMessageBox = [](const std::string&, const std::string&, unsigned) { return ui::kIdNo; };
  PeerOf(game).SendClose();
  local.onMessageBox = [](const std::string&, const std::string&, unsigned) { return ui::kIdYes; };
  PeerOf(game).SendClose();
  EXPECT_EQ(local.messageBoxes.size(), 2u);
  EXPECT_EQ(local.processes.size(), 1u);
}

TEST_F(GameWindowTest, TheVersionForScriptsRunsEveryTranslationsFileVersionTogether) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes chinese{0x04, 0x08, 0xb0, 0x04};  // 0x0804, 0x04b0
  const Bytes english{0x09, 0x04, 0xe4, 0x04};  // 0x0409, 0x04e4
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const std::string kCn = "\\StringFileInfo\\080404b0\\FileVersion";
  const std::string kEn = "\\StringFileInfo\\040904e4\\FileVersion";
  const std::string kTable = "\\VarFileInfo\\Translation";
  struct Case {
    const char* name;
    std::string path;
    bool hasData;
    std::map<std::string, Bytes> values;
    std::string expected;
  };
  Bytes both = chinese;
  both.insert(both.end(), english.begin(), english.end());
  const std::string exe = "C:\\Games\\Client\\KQVClient.exe";
  const Case cases[] = {
      {"one", exe, true, {{kTable, chinese}, {kCn, text("1.0.0.1")}}, "1.0.0.1"},
      {"two", exe, true, {{kTable, both}, {kCn, text("1.0.0.1")}, {kEn, text("1.0.0.1")}}, "1.0.0.11.0.0.1"},
      {"second without", exe, true, {{kTable, both}, {kCn, text("1.0.0.1")}}, "1.0.0.1"},
      {"no table", exe, true, {{kCn, text("1.0.0.1")}}, ""},
      {"no FileVersion", exe, true, {{kTable, chinese}}, ""},
      {"short table", exe, true, {{kTable, Bytes{0x04, 0x08, 0xb0}}, {kCn, text("1.0.0.1")}}, ""},
      {"no version data", exe, false, {}, "error"},
      {"199 characters", "C:\\" + std::string(190, 'd') + "\\a.exe", true, {{kTable, chinese}, {kCn, text("2")}}, "2"},
      {"200 characters",
       "C:\\" + std::string(191, 'd') + "\\a.exe",
       true,
       {{kTable, chinese}, {kCn, text("2")}},
       "error"},
      {"199 characters, one of them Chinese",
       "C:\\游" + std::string(189, 'd') + "\\a.exe",
       true,
       {{kTable, chinese}, {kCn, text("3")}},
       "3"},
  };
  for (const Case& c : cases) {
    platform.modulePath = c.path;
    platform.versionData.clear();
    if (c.hasData) platform.versionData[c.path] = c.values;
    EXPECT_EQ(GetFileVersionString(), c.expected) << c.name;
  }

  // Pages get the same text through window.external.
  platform.modulePath = exe;
  platform.versionData[exe] = {{kTable, chinese}, {kCn, text("1.0.0.1")}};
  Open();
  const auto& method = Browser().hostChoices.external.at("getAppVersion");
  EXPECT_EQ(method({}), "1.0.0.1");
  platform.versionData[exe][kCn] = text("1.0.0.2");  // read from the file on each call
  EXPECT_EQ(method({}), "1.0.0.2");
}

}  // namespace
