// The frame's caption buttons under the pointer: hit test, press, release,
// double-click, hover, leave and the repaints they cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "FrameTestWindow.h"

namespace {

using fake::PeerOf;
using kqvtest::FrameTestWindow;
using ui::Hit;
using ui::Point;
using ui::Rect;

// The game window at (100, 50), 1000 x 700. Its caption buttons then lie at
// 10 (735..775), 11 (780..820), 13 (825..865), 12 (870..910), 112 (926..946),
// 111 (948..968), 110 (970..990), the VIP button 14 (605..715), all on
// y 10..30, and the icon at (15, 13)..(31, 29); in screen coordinates add
// (100, 50).
constexpr Point kOrigin{100, 50};
Point Screen(int x, int y) { return {kOrigin.x + x, kOrigin.y + y}; }

class SkinnedFrameMouseTest : public testing::Test {
 protected:
  static void Open(FrameTestWindow& window, int width = 1000, int height = 700) {
    PeerOf(window).rect = Rect::FromXYWH(kOrigin.x, kOrigin.y, width, height);
    ASSERT_TRUE(window.Create(nullptr));
    PeerOf(window).SendSize(ui::SizeType::Restored);
    PeerOf(window).log.clear();
  }
  static int Count(const FrameTestWindow& window, const std::string& entry) {
    const auto& log = PeerOf(window).log;
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }
  static int Paints(const FrameTestWindow& window) { return Count(window, "paint-nc"); }

  fake::FakePlatform platform;
};

TEST_F(SkinnedFrameMouseTest, HitTestAnswersTheDrawnSystemButtonsAndTheIcon) {
  struct Case {
    bool chat;
    bool vipShown;
    Point at;  // window coordinates
    Hit expected;
  };
  const Case cases[] = {
      {false, false, {970, 10}, Hit::Close},     {false, false, {989, 29}, Hit::Close},
      {false, false, {990, 20}, Hit::Caption},  // a right edge belongs to the next area
      {false, false, {980, 30}, Hit::Caption},  // and so does a bottom edge
      {false, false, {950, 20}, Hit::MaxButton}, {false, false, {930, 20}, Hit::MinButton},
      {false, false, {947, 20}, Hit::Caption},  // the gap between minimise and maximise
      {false, false, {740, 20}, Hit::Caption},  // a text button: the default's answer
      {false, false, {15, 13}, Hit::SysMenu},    {false, false, {30, 28}, Hit::SysMenu},
      {false, false, {31, 20}, Hit::Caption},    {false, false, {20, 29}, Hit::Caption},
      {false, false, {610, 15}, Hit::Caption},  // the hidden VIP button is not there
      {false, true, {610, 15}, Hit::Caption},   // shown, it is a text button
      {false, false, {500, 300}, Hit::Client},  //
      {true, false, {409, 3}, Hit::Close},       {true, false, {429, 10}, Hit::Caption},
      {true, false, {5, 5}, Hit::SysMenu},       {true, false, {21, 10}, Hit::Caption},
  };
  for (const Case& c : cases) {
    FrameTestWindow window(c.chat);
    Open(window, c.chat ? 434 : 1000, c.chat ? 386 : 700);
    window.Button(c.chat ? 20 : 14).m_bVisible = !(!c.chat && !c.vipShown);
    const Hit byDefault = c.at.y < (c.chat ? 26 : 39) ? Hit::Caption : Hit::Client;
    EXPECT_EQ(PeerOf(window).SendHitTest(Screen(c.at.x, c.at.y), byDefault), c.expected)
        << (c.chat ? "chat " : "game ") << c.at.x << "," << c.at.y;
  }
  // A text button gets the default's answer whether shown or not, so its
  // presence shows only in the frame's own search.
  FrameTestWindow window(false);
  Open(window);
  window.Button(14).m_bVisible = false;
  EXPECT_EQ(window.HitTestButton({610, 15}), -1);
  window.Button(14).m_bVisible = true;
  EXPECT_EQ(window.HitTestButton({610, 15}), 14);
}

// A window whose buttons were never made (its creation was refused) still
// takes the chat side's calls: the id gets a default button.
TEST_F(SkinnedFrameMouseTest, AButtonAskedForBeforeCreationIsADefaultOne) {
  FrameTestWindow window(false);
  CDUIButton& vip = window.Button(14);
  EXPECT_EQ(vip.m_strText, CDUIButton().m_strText);
  EXPECT_EQ(&window.Button(14), &vip);
}

TEST_F(SkinnedFrameMouseTest, APressLightsTheButtonAndTheReleaseWhereItEndsFires) {
  FrameTestWindow window(false);
  Open(window);
  fake::FakeWindowPeer& peer = PeerOf(window);
  window.Button(10).m_bAttention = true;

  peer.SendNcMouseMove(Screen(740, 15));
  peer.log.clear();
  peer.SendNcButtonDown(Screen(740, 15));
  EXPECT_TRUE(window.Button(10).m_bPressed);
  EXPECT_FALSE(window.Button(10).m_bAttention);
  EXPECT_EQ(Paints(window), 1);
  EXPECT_EQ(Count(window, "default ncbuttondown 2"), 0);  // no move starts

  // Moving onto another button clears the first one's pressed look.
  peer.SendNcMouseMove(Screen(790, 15), Hit::Caption);
  EXPECT_FALSE(window.Button(10).m_bPressed);
  EXPECT_TRUE(window.Button(11).m_bHover);
  peer.SendNcButtonUp(Screen(790, 15));
  EXPECT_EQ(window.actions, (std::vector<int>{11}));
  EXPECT_FALSE(window.Button(11).m_bPressed);

  // A button with an action of its own keeps its pressed look on release.
  peer.SendNcButtonDown(Screen(790, 15));
  peer.SendNcButtonUp(Screen(790, 15));
  EXPECT_EQ(window.actions, (std::vector<int>{11, 11}));
  EXPECT_TRUE(window.Button(11).m_bPressed);
  EXPECT_FALSE(window.Button(11).m_bChecked);

  // A release away from every button is the platform's.
  peer.SendNcButtonUp(Screen(400, 15));
  EXPECT_EQ(Count(window, "default ncbuttonup 2"), 1);
  EXPECT_EQ(window.actions.size(), 2u);
}

TEST_F(SkinnedFrameMouseTest, TheSystemButtonsSendTheirSystemCommands) {
  struct Case {
    bool chat;
    Point at;
    bool zoomed;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {false, {935, 20}, false, {"syscommand 61472", "paint-nc", "default syscommand", "show 6"}},
      {false, {955, 20}, false, {"syscommand 61488", "paint-nc", "default syscommand", "show 3"}},
      {false, {955, 20}, true, {"syscommand 61728", "paint-nc", "default syscommand", "show 9"}},
      {false, {975, 20}, false, {"syscommand 61536", "default syscommand", "close", "end 2"}},
      {true, {415, 10}, false, {"syscommand 61536", "default syscommand", "close", "end 2"}},
  };
  for (const Case& c : cases) {
    FrameTestWindow window(c.chat);
    Open(window, c.chat ? 434 : 1000, c.chat ? 386 : 700);
    PeerOf(window).zoomed = c.zoomed;
    PeerOf(window).SendNcButtonUp(Screen(c.at.x, c.at.y));
    EXPECT_EQ(PeerOf(window).log, c.log) << c.at.x;
    EXPECT_TRUE(window.actions.empty());
  }
}

TEST_F(SkinnedFrameMouseTest, ADoubleClickOnAButtonPressesItAgainSoItsActionRunsTwice) {
  FrameTestWindow window(false);
  Open(window);
  fake::FakeWindowPeer& peer = PeerOf(window);
  const Point refresh = Screen(880, 20);
  peer.SendNcButtonDown(refresh);
  peer.SendNcButtonUp(refresh);
  peer.SendNcDoubleClick(refresh);
  EXPECT_TRUE(window.Button(12).m_bPressed);
  peer.SendNcButtonUp(refresh);
  EXPECT_EQ(window.actions, (std::vector<int>{12, 12}));
  EXPECT_EQ(Count(window, "default ncdoubleclick 2"), 0);
}

TEST_F(SkinnedFrameMouseTest, ACaptionDoubleClickTogglesMaximisedOnlyInTheCaptionBand) {
  struct Case {
    bool chat;
    Point at;
    bool zoomed;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {false, {400, 20}, false, {"show 3", "paint-nc"}},
      {false, {400, 38}, true, {"show 9", "paint-nc"}},
      {false, {400, 39}, false, {"paint-nc"}},  // the border below the caption only repaints
      {false, {1, 600}, false, {"paint-nc"}},
      {true, {200, 10}, false, {}},  // the chat window ignores double-clicks
      {true, {415, 10}, false, {}},
  };
  for (const Case& c : cases) {
    FrameTestWindow window(c.chat);
    Open(window, c.chat ? 434 : 1000, c.chat ? 386 : 700);
    PeerOf(window).zoomed = c.zoomed;
    PeerOf(window).SendNcDoubleClick(Screen(c.at.x, c.at.y));
    EXPECT_EQ(PeerOf(window).log, c.log) << c.chat << " " << c.at.x << "," << c.at.y;
    if (c.chat) {
      EXPECT_FALSE(window.Button(20).m_bPressed);
    }
  }
}

TEST_F(SkinnedFrameMouseTest, HoverChangesRepaintOnlyWhenTheButtonUnderThePointerChanges) {
  FrameTestWindow window(false);
  Open(window);
  fake::FakeWindowPeer& peer = PeerOf(window);
  struct Step {
    Point at;
    Hit hit;
    int hover;     // the lit button afterwards, -1 for none
    int paints;    // repaints so far
    int defaults;  // default processing so far
  };
  const Step steps[] = {
      {{740, 15}, Hit::Caption, 10, 1, 1},     // caption codes go to the default too
      {{770, 25}, Hit::Caption, 10, 1, 2},     // within one button: nothing repainted
      {{400, 15}, Hit::Caption, -1, 2, 3},     // onto the bare caption: one repaint
      {{400, 20}, Hit::Caption, -1, 2, 4},     //
      {{975, 20}, Hit::Close, 110, 3, 4},      // the drawn buttons' codes are not defaulted
      {{955, 20}, Hit::MaxButton, 111, 4, 4},  //
      {{2, 300}, Hit::Left, -1, 5, 5},         // a sizing edge
  };
  for (const Step& s : steps) {
    peer.SendNcMouseMove(Screen(s.at.x, s.at.y), s.hit);
    for (const int id : {10, 110, 111}) EXPECT_EQ(window.Button(id).m_bHover, id == s.hover) << s.at.x << " " << id;
    EXPECT_EQ(Paints(window), s.paints) << s.at.x;
    const int defaults = static_cast<int>(std::count_if(
        peer.log.begin(), peer.log.end(), [](const std::string& e) { return e.rfind("default ncmousemove", 0) == 0; }));
    EXPECT_EQ(defaults, s.defaults) << s.at.x;
  }
}

TEST_F(SkinnedFrameMouseTest, LeaveClearsTheLitButtonWithoutRepaintAndRearmsTracking) {
  FrameTestWindow window(false);
  Open(window);
  fake::FakeWindowPeer& peer = PeerOf(window);
  peer.SendNcMouseMove(Screen(740, 15));
  peer.SendNcButtonDown(Screen(740, 15));
  peer.SendNcMouseMove(Screen(745, 15));
  EXPECT_EQ(peer.leaveTrackings, 1);  // armed once, on the first move
  const int paints = Paints(window);

  peer.SendNcMouseLeave();
  EXPECT_FALSE(window.Button(10).m_bHover);
  EXPECT_FALSE(window.Button(10).m_bPressed);
  EXPECT_EQ(Paints(window), paints);
  EXPECT_EQ(Count(window, "default ncmouseleave"), 0);

  peer.SendNcMouseMove(Screen(745, 15));
  EXPECT_EQ(peer.leaveTrackings, 2);
  EXPECT_TRUE(window.Button(10).m_bHover);
  EXPECT_EQ(Paints(window), paints + 1);  // lit again

  // A refused request is asked again on the next move.
  FrameTestWindow other(false);
  Open(other);
  PeerOf(other).trackLeaveAnswer = false;
  PeerOf(other).SendNcMouseMove(Screen(400, 15));
  PeerOf(other).SendNcMouseMove(Screen(401, 15));
  EXPECT_EQ(PeerOf(other).leaveTrackings, 2);
}

TEST_F(SkinnedFrameMouseTest, TheIconOpensTheSystemMenuWhereThePointerIs) {
  for (const bool hasMenu : {true, false}) {
    FrameTestWindow window(false);
    Open(window);
    PeerOf(window).hasSystemMenu = hasMenu;
    PeerOf(window).SendNcButtonDown(Screen(20, 20), Hit::SysMenu);
    // Without a menu nothing else happens: no repaint, no default.
    EXPECT_EQ(PeerOf(window).log, (std::vector<std::string>{"system-menu 120,70"})) << hasMenu;
  }
  // Elsewhere the press is the platform's (a drag or a resize).
  FrameTestWindow window(false);
  Open(window);
  PeerOf(window).SendNcButtonDown(Screen(2, 300), Hit::Left);
  EXPECT_EQ(PeerOf(window).log, (std::vector<std::string>{"default ncbuttondown 10"}));
}

TEST_F(SkinnedFrameMouseTest, AButtonWithoutAnActionTogglesAndPostsItsIdOnlyAfterAPress) {
  FrameTestWindow window(false);
  Open(window);
  fake::FakeWindowPeer& peer = PeerOf(window);
  CDUIButton& extra = window.AddCaptionButton("额外", {300, 10, 340, 30}, nullptr, 99);
  EXPECT_EQ(extra.m_clrText.r, 217);
  EXPECT_TRUE(extra.m_bVisible);

  peer.SendNcButtonUp(Screen(310, 15));  // never pressed: only a repaint
  EXPECT_EQ(peer.log, (std::vector<std::string>{"paint-nc"}));
  EXPECT_FALSE(window.Button(99).m_bChecked);

  peer.SendNcButtonDown(Screen(310, 15));
  peer.log.clear();
  peer.SendNcButtonUp(Screen(310, 15));
  EXPECT_EQ(peer.log, (std::vector<std::string>{"post-command 99", "paint-nc"}));
  EXPECT_TRUE(window.Button(99).m_bChecked);
  EXPECT_FALSE(window.Button(99).m_bPressed);
  EXPECT_TRUE(window.commands.empty());  // posted, not yet delivered
  peer.RunPosted();
  EXPECT_EQ(window.commands, (std::vector<int>{99}));

  // A disabled button is still found, but neither presses nor lights.
  window.Button(99).m_bDisabled = true;
  peer.SendNcButtonDown(Screen(310, 15));
  peer.SendNcMouseMove(Screen(311, 15), Hit::Nowhere);
  EXPECT_EQ(window.HitTestButton({310, 15}), 99);
  EXPECT_FALSE(window.Button(99).m_bPressed);
  EXPECT_FALSE(window.Button(99).m_bHover);
}

}  // namespace
