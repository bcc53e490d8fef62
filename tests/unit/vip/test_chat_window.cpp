// The VIP chat beside the game window: when it starts, the one chat window,
// its place, and the chat page's calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "core/PlatformConfig.h"
#include "gamewnd/ChtmlbrowserDlg.h"
#include "vip/ChatDlg.h"
#include "vip/VipChat.h"
#include "vip/VipServiceInfo.h"

namespace {

using fake::PeerOf;

std::string Reply(const std::string& errnoText, const std::string& chatUrl) {
  return R"({"errno":")" + errnoText + R"(","data":{"server_name":"一服","logout_url":"l","gsurl":")" + chatUrl +
         R"(","user_name":"u"}})";
}

class ChatWindowTest : public testing::Test {
 protected:
  ChatWindowTest() {
    PlatformConfig::Instance().LoadDefaults();
    PlatformConfig::Instance().Set("platform", "baidu");  // the game window's own start stays out of it
    platform.onHttpGet = [this](const std::string& url, bool, const std::string&) {
      queries.push_back(url);
      return reply;
    };
    PeerOf(game).rect = ui::Rect::FromXYWH(100, 50, 1000, 700);
    EXPECT_TRUE(game.Create(nullptr));
    PeerOf(game).SendSize(ui::SizeType::Restored);  // the caption buttons in their places
    VipServiceInfo::Instance().m_nErrno = -1;
  }
  ~ChatWindowTest() override { PlatformConfig::Instance().LoadDefaults(); }

  fake::FakePlatform platform;
  ChtmlbrowserDlg game;
  std::string reply = Reply("0", "http://vip.example/chat?id=9");
  std::vector<std::string> queries;
};

TEST_F(ChatWindowTest, TheServerIdIsTakenFromTheFirstKeyAndOnlyPlausibleOnesAreAskedFor) {
  struct Case {
    std::string address;
    std::string id;
    bool asked;
  };
  const Case cases[] = {
      {"http://g/login.php?a=1&server_id=S12", "S12", true},     // at the end
      {"http://g/login.php?server_id=S12&lang=1", "S12", true},  // "&" after it
      {"http://g/?server_id=S3&x=1&server_id=S4", "S3", true},   // the first of two
      {"http://g/?server_id=12S", "12S", true},
      {"http://g/?server_id=XS1", "XS1", true},
      {"http://g/?server_id=S 1", "S 1", true},   // a space is kept
      {"http://g/?server_id=S", "S", false},      // too short
      {"http://g/?server_id=s12", "s12", false},  // no upper-case S
      {"http://g/?server_id=12", "12", false},
      {"http://g/?server_id=", "", false},
      {"http://g/?server=S12", "", false},  // no key
  };
  for (const Case& c : cases) {
    queries.clear();
    EXPECT_EQ(ServerIdOf(c.address), c.id) << c.address;
    StartVipChat(c.address, game);
    EXPECT_EQ(queries.size(), c.asked ? 1u : 0u) << c.address;
  }
}

TEST_F(ChatWindowTest, OneHiddenChatWindowIsMadeAndPlacedAtTheGameWindowsRightEdge) {
  StartVipChat("http://g/?server_id=S12", game);
  ASSERT_TRUE(game.m_bChatCreated);
  ChatDlg* chat = game.m_pChatDlg;
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(chat->m_pGameDlg, &game);
  fake::FakeWindowPeer& peer = PeerOf(*chat);
  EXPECT_EQ(peer.templateId, 105);
  EXPECT_EQ(peer.owner, &PeerOf(game));
  EXPECT_FALSE(peer.visible);
  EXPECT_TRUE(peer.appWindow);
  EXPECT_EQ(chat->GetWindowText(), "客服");
  EXPECT_EQ(peer.browsers.at(0)->navigations, (std::vector<std::string>{"http://vip.example/chat?id=9"}));
  EXPECT_TRUE(peer.browsers.at(0)->silent);
  EXPECT_EQ(peer.browsers.at(0)->hostChoices.external.size(), 2u);
  // Dark like its frame's body until the page paints, the window as well as
  // the browser.
  EXPECT_EQ(peer.background, (ui::Color{26, 20, 18, 255}));
  EXPECT_EQ(peer.browsers.at(0)->background, (ui::Color{26, 20, 18, 255}));
  // Client area (1100 - 434, 50 + 80) to (1100, 50 + 466), grown by the
  // standard frame (3 around, 23 more above).
  EXPECT_EQ(peer.rect, (ui::Rect{663, 104, 1103, 519}));

  // Again after the game window moved and the player showed the chat: the
  // same window, sent to the page again and put back in its place.
  chat->ShowWindow(ui::ShowCommand::Show);
  chat->MoveWindow(ui::Rect::FromXYWH(5, 5, 440, 415));
  PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1920, 1080);
  reply = Reply("0", "http://vip.example/chat?id=10");
  StartVipChat("http://g/?server_id=S12", game);
  EXPECT_EQ(game.m_pChatDlg, chat);
  EXPECT_EQ(platform.Windows(105).size(), 1u);
  EXPECT_EQ(peer.browsers.at(0)->navigations.back(), "http://vip.example/chat?id=10");
  EXPECT_EQ(peer.rect, (ui::Rect{1483, 54, 1923, 469}));
  EXPECT_TRUE(peer.visible);
}

TEST_F(ChatWindowTest, AFailedQueryMakesNothingAndLeavesAChatWindowAsItWas) {
  StartVipChat("http://g/?server_id=S12", game);
  ChatDlg* chat = game.m_pChatDlg;
  ASSERT_NE(chat, nullptr);
  const ui::Rect place = PeerOf(*chat).rect;
  const auto navigations = PeerOf(*chat).browsers.at(0)->navigations;
  for (const std::string& failing : {Reply("7", "http://vip.example/other"), Reply("0", ""), std::string("")}) {
    reply = failing;
    PeerOf(game).rect = ui::Rect::FromXYWH(0, 0, 1920, 1080);
    StartVipChat("http://g/?server_id=S12", game);
    EXPECT_EQ(PeerOf(*chat).rect, place) << failing;
    EXPECT_EQ(PeerOf(*chat).browsers.at(0)->navigations, navigations) << failing;
    EXPECT_FALSE(chat->IsWindowVisible());
  }
  EXPECT_EQ(platform.Windows(105).size(), 1u);

  ChtmlbrowserDlg other;
  PeerOf(other).rect = ui::Rect::FromXYWH(0, 0, 800, 600);
  ASSERT_TRUE(other.Create(nullptr));
  StartVipChat("http://g/?server_id=S12", other);  // the last reply failed too
  EXPECT_FALSE(other.m_bChatCreated);
  EXPECT_EQ(other.m_pChatDlg, nullptr);
}

TEST_F(ChatWindowTest, TheChatPageNamesTheContactAndLightsTheVipButton) {
  StartVipChat("http://g/?server_id=S12", game);
  ChatDlg& chat = *game.m_pChatDlg;
  const auto& external = PeerOf(chat).browsers.at(0)->hostChoices.external;

  // A message before any name: the default label, lit.
  PeerOf(game).log.clear();
  EXPECT_EQ(external.at("getNewMsg")({"你好"}), "");
  EXPECT_TRUE(game.Button(14).m_bVisible);
  EXPECT_TRUE(game.Button(14).m_bAttention);
  EXPECT_EQ(game.Button(14).m_strText, "VIP专员");
  EXPECT_EQ(PeerOf(game).log, (std::vector<std::string>{"paint-nc"}));
  EXPECT_FALSE(chat.IsWindowVisible());  // nothing happens to the chat window

  // Hidden, the chat window's frame is not painted for its new title.
  PeerOf(chat).log.clear();
  EXPECT_EQ(external.at("getGsName")({"小美"}), "");
  EXPECT_EQ(chat.GetWindowText(), "\u2068小美\u2069 正在和您通话");
  EXPECT_EQ(game.Button(14).m_strText, "\u2068小美\u2069");
  EXPECT_TRUE(PeerOf(chat).log.empty());
  chat.ShowWindow(ui::ShowCommand::Show);
  PeerOf(chat).log.clear();
  external.at("getGsName")({""});  // an empty name: the title only
  EXPECT_EQ(chat.GetWindowText(), " 正在和您通话");
  EXPECT_EQ(game.Button(14).m_strText, "\u2068小美\u2069");
  EXPECT_EQ(PeerOf(chat).log, (std::vector<std::string>{"paint-nc"}));

  // Pressing the lit button turns the light off and shows the chat window.
  chat.ShowWindow(ui::ShowCommand::Hide);
  PeerOf(game).SendNcButtonDown({100 + 650, 50 + 15});
  EXPECT_FALSE(game.Button(14).m_bAttention);
  PeerOf(game).SendNcButtonUp({100 + 650, 50 + 15});
  EXPECT_TRUE(chat.IsWindowVisible());
}

// Before placement links it to a game window, the page's calls still land:
// the name reaches the title, and a message reaches nothing.
TEST_F(ChatWindowTest, WithoutItsGameWindowTheCallsOnlyChangeTheChatWindow) {
  ChatDlg chat;
  ASSERT_TRUE(chat.Create(nullptr));
  chat.getGsName("小美");
  chat.getNewMsg("x");
  EXPECT_EQ(chat.GetWindowText(), "\u2068小美\u2069 正在和您通话");
}

// A right-to-left override in a name reversed the client's own words after
// it ("话通您和在正"): the name is an isolate, its override closed inside it.
TEST_F(ChatWindowTest, ANameCannotReorderTheWordsAfterIt) {
  StartVipChat("http://g/?server_id=S12", game);
  ChatDlg& chat = *game.m_pChatDlg;
  struct Case {
    std::string name, title, label;
  };
  const Case cases[] = {
      {"\u202E小美", "\u2068\u202E小美\u202C\u2069 正在和您通话", "\u2068\u202E小美\u202C\u2069"},
      {"a\u2069\u202Eb", "\u2068a\u202Eb\u202C\u2069 正在和您通话", "\u2068a\u202Eb\u202C\u2069"},
      {"שלום", "\u2068שלום\u2069 正在和您通话", "\u2068שלום\u2069"},
  };
  for (const Case& c : cases) {
    chat.getGsName(c.name);
    EXPECT_EQ(chat.GetWindowText(), c.title);
    EXPECT_EQ(game.Button(14).m_strText, c.label);
  }
}

TEST_F(ChatWindowTest, ClosingHidesTheChatWindowAndKeepsItsPage) {
  StartVipChat("http://g/?server_id=S12", game);
  ChatDlg& chat = *game.m_pChatDlg;
  chat.ShowWindow(ui::ShowCommand::Show);
  const ui::Rect w = chat.GetWindowRect();
  PeerOf(chat).SendNcButtonUp({w.right - 15, w.top + 10});  // its close button
  EXPECT_FALSE(chat.IsWindowVisible());
  EXPECT_TRUE(chat.IsWindow());
  EXPECT_FALSE(PeerOf(chat).browsers.at(0)->destroyed);
  // Return and Escape go to the page instead.
  chat.ShowWindow(ui::ShowCommand::Show);
  for (const unsigned key : {ui::kVkReturn, ui::kVkEscape}) EXPECT_TRUE(PeerOf(chat).SendKeyDown(key));
  EXPECT_TRUE(chat.IsWindowVisible());
}

}  // namespace
