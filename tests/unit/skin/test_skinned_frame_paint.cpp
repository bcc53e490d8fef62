// The frame's geometry and painting: client inset, shape, caption button
// layout, the order and rectangles of what is drawn, and what repaints it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "FrameTestWindow.h"
#include "ui/PageText.h"

namespace {

using fake::PeerOf;
using kqvtest::FrameTestWindow;
using ui::Rect;

class SkinnedFramePaintTest : public testing::Test {
 protected:
  // Creates the window at a screen rectangle and gives it its first size.
  static void Open(FrameTestWindow& window, Rect rect) {
    PeerOf(window).rect = rect;
    ASSERT_TRUE(window.Create(nullptr));
    PeerOf(window).SendSize(ui::SizeType::Restored);
  }
  static int Paints(const FrameTestWindow& window) {
    const auto& log = PeerOf(window).log;
    return static_cast<int>(std::count(log.begin(), log.end(), "paint-nc"));
  }

  fake::FakePlatform platform;
};

struct Drawn {
  Rect dest, source;
  friend bool operator==(const Drawn&, const Drawn&) = default;
};

std::vector<Drawn> PicturesDrawn(const fake::RecordingCanvas& canvas) {
  std::vector<Drawn> drawn;
  for (const auto& picture : canvas.pictures) drawn.push_back({picture.dest, picture.source});
  return drawn;
}

TEST_F(SkinnedFramePaintTest, TheBackgroundIsDrawnInItsSevenPiecesThenIconTitleAndButtons) {
  struct Case {
    bool chat;
    int width, height;
    std::vector<Drawn> background;  // bottom, body, left, right, fill, left cap, right cap
  };
  const Case cases[] = {
      {false,
       800,
       600,
       {{{0, 597, 800, 600}, {39, 226, 42, 229}},
        {{3, 39, 797, 597}, {8, 39, 18, 49}},
        {{0, 39, 3, 597}, {0, 39, 3, 42}},
        {{797, 39, 800, 597}, {591, 39, 594, 42}},
        {{0, 0, 800, 39}, {218, 0, 219, 39}},
        {{0, 0, 218, 39}, {0, 0, 218, 39}},
        {{750, 0, 800, 39}, {544, 0, 594, 39}}}},
      // Narrower than the two caps: the right cap, drawn last, covers the left.
      {false,
       200,
       100,
       {{{0, 97, 200, 100}, {39, 226, 42, 229}},
        {{3, 39, 197, 97}, {8, 39, 18, 49}},
        {{0, 39, 3, 97}, {0, 39, 3, 42}},
        {{197, 39, 200, 97}, {591, 39, 594, 42}},
        {{0, 0, 200, 39}, {218, 0, 219, 39}},
        {{0, 0, 218, 39}, {0, 0, 218, 39}},
        {{150, 0, 200, 39}, {544, 0, 594, 39}}}},
      {true,
       434,
       386,
       {{{0, 383, 434, 386}, {26, 212, 29, 215}},
        {{3, 26, 431, 383}, {8, 26, 18, 36}},
        {{0, 26, 3, 383}, {0, 26, 3, 29}},
        {{431, 26, 434, 383}, {191, 26, 194, 29}},
        {{0, 0, 434, 26}, {30, 0, 31, 26}},
        {{0, 0, 30, 26}, {0, 0, 30, 26}},
        {{404, 0, 434, 26}, {164, 0, 194, 26}}}},
      {true,
       50,
       40,
       {{{0, 37, 50, 40}, {26, 212, 29, 215}},
        {{3, 26, 47, 37}, {8, 26, 18, 36}},
        {{0, 26, 3, 37}, {0, 26, 3, 29}},
        {{47, 26, 50, 37}, {191, 26, 194, 29}},
        {{0, 0, 50, 26}, {30, 0, 31, 26}},
        {{0, 0, 30, 26}, {0, 0, 30, 26}},
        {{20, 0, 50, 26}, {164, 0, 194, 26}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.chat ? "chat " : "game ") + std::to_string(c.width));
    FrameTestWindow window(c.chat, "标题");
    Open(window, Rect::FromXYWH(100, 50, c.width, c.height));
    window.PaintFrame();
    const fake::RecordingCanvas& canvas = PeerOf(window).ncCanvas;

    const std::vector<Drawn> drawn = PicturesDrawn(canvas);
    ASSERT_GE(drawn.size(), 7u);
    EXPECT_EQ(std::vector<Drawn>(drawn.begin(), drawn.begin() + 7), c.background);

    ASSERT_EQ(canvas.icons.size(), 1u);
    EXPECT_EQ(canvas.icons[0].id, FrameTestWindow::kIconId);
    EXPECT_EQ(canvas.icons[0].rect, (c.chat ? Rect{5, 5, 21, 21} : Rect{15, 13, 31, 29}));

    // The title first, in the caption up to its first button, then the
    // labels of the game's text buttons. The narrow game window has no room
    // left of its buttons for a title.
    const bool titled = c.chat || c.width > 265 + 97;
    ASSERT_EQ(canvas.texts.size(), (c.chat ? 1u : 4u) + (titled && !c.chat ? 1u : 0u));
    if (titled) {
      const auto& title = canvas.texts[0];
      EXPECT_EQ(title.text, "标题");
      EXPECT_EQ(title.font.face, "宋体");
      EXPECT_EQ(title.font.pixelHeight, 12);
      EXPECT_EQ(title.font.weight, c.chat ? 0 : 700);
      EXPECT_EQ(title.color, (ui::Color{255, 255, 255, 255}));
      EXPECT_EQ(title.layout, (c.chat ? Rect{5, 7, c.width - 25, 26} : Rect{97, 15, c.width - 265, 39}));
      EXPECT_TRUE(title.noWrap);
      EXPECT_EQ(title.horizontal, ui::TextAlign::Near);
      EXPECT_EQ(title.vertical, ui::TextAlign::Near);
    }

    // Then the visible buttons in ascending id, each its strip's normal cell
    // stretched over its rectangle (the game's labels are drawn after each).
    std::vector<Rect> buttons;
    for (size_t i = 7; i < drawn.size(); ++i) buttons.push_back(drawn[i].dest);
    const int w = c.width;
    const std::vector<Rect> expected =
        c.chat ? std::vector<Rect>{{w - 25, 3, w - 5, 23}}
               : std::vector<Rect>{{w - 265, 10, w - 225, 30}, {w - 220, 10, w - 180, 30}, {w - 130, 10, w - 90, 30},
                                   {w - 175, 10, w - 135, 30}, {w - 30, 10, w - 10, 30},   {w - 52, 10, w - 32, 30},
                                   {w - 74, 10, w - 54, 30}};
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(canvas.order.substr(0, 9), titled ? "pppppppit" : "pppppppip");
  }
}

// A page decides the title's length: only its first characters are laid
// out, never past the first caption button; the window keeps all of it.
TEST_F(SkinnedFramePaintTest, TheTitleIsBoundedAndEndsAtTheFirstCaptionButton) {
  const std::string longTitle(1 << 20, 'x');
  struct Case {
    const char* name;
    bool chat;
    int width;
    bool vipShown;
    std::string title;
    Rect box;  // empty: no title drawn
  };
  const Case cases[] = {
      {"game, 1 MB title", false, 1920, false, longTitle, {97, 15, 1920 - 265, 39}},
      {"game, the VIP button shown", false, 1920, true, "仙境", {97, 15, 1920 - 395, 39}},
      {"game, buttons reach the title's start", false, 97 + 265, false, "仙境", {}},
      {"game, one pixel of room", false, 97 + 266, false, "仙境", {97, 15, 98, 39}},
      {"chat, 1 MB title", true, 434, false, longTitle, {5, 7, 434 - 25, 26}},
      {"chat, as narrow as its button", true, 30, false, "客服", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameTestWindow window(c.chat, c.title);
    Open(window, Rect::FromXYWH(0, 0, c.width, 600));
    if (c.vipShown) window.Button(14).m_bVisible = true;
    window.PaintFrame();
    EXPECT_EQ(window.GetWindowText(), c.title);
    const auto& texts = PeerOf(window).ncCanvas.texts;
    const auto title = std::find_if(texts.begin(), texts.end(), [](const auto& t) {
      return t.font.pixelHeight == 12 && t.color == ui::Color{255, 255, 255, 255};
    });
    if (c.box.IsEmpty()) {
      EXPECT_EQ(title, texts.end());
      continue;
    }
    ASSERT_NE(title, texts.end());
    EXPECT_EQ(title->layout, c.box);
    EXPECT_TRUE(title->noWrap);
    EXPECT_EQ(title->text, c.title.substr(0, std::min(c.title.size(), ui::kMaxLaidOutChars)));
  }
}

TEST_F(SkinnedFramePaintTest, IconAndTitleAreDrawnOnlyWhenTheWindowHasThem) {
  struct Case {
    int icon;
    const char* title;
    size_t icons, texts;
  };
  for (const Case c : {Case{0, "", 0, 0}, Case{7, "", 1, 0}, Case{0, "游戏", 0, 1}}) {
    FrameTestWindow window(false);
    Open(window, Rect::FromXYWH(0, 0, 800, 600));
    window.SetIcon(c.icon, false);
    window.SetWindowText(c.title);
    window.PaintFrame();
    const auto& canvas = PeerOf(window).ncCanvas;
    EXPECT_EQ(canvas.icons.size(), c.icons) << c.icon << c.title;
    const auto titles = std::count_if(canvas.texts.begin(), canvas.texts.end(), [](const auto& text) {
      return text.layout == Rect{97, 15, 800 - 265, 39};
    });
    EXPECT_EQ(static_cast<size_t>(titles), c.texts) << c.icon << c.title;
  }
}

TEST_F(SkinnedFramePaintTest, OnlyButtonsMeetingTheClipBoxAreDrawn) {
  struct Case {
    Rect clip;
    size_t strips;  // button strips drawn after the seven background pieces
  };
  // At 1000 wide: 10 (735..775), 11 (780..820), 13 (825..865), 12 (870..910),
  // 112 (926..946), 111 (948..968), 110 (970..990); the VIP button is hidden.
  const Case cases[] = {
      {{}, 7},                   // nothing limits it
      {{0, 0, 1000, 600}, 7},    //
      {{0, 0, 800, 600}, 2},     // 10, 11
      {{900, 0, 1000, 600}, 4},  // 12 and the three system buttons
      {{0, 100, 1000, 600}, 0},  // below the caption
      {{775, 0, 780, 600}, 0},   // the gap between 10 and 11
      {{990, 0, 1000, 600}, 0},  // right of the close button
  };
  for (const Case& c : cases) {
    FrameTestWindow window(false);
    Open(window, Rect::FromXYWH(0, 0, 1000, 600));
    PeerOf(window).ncClipBox = c.clip;
    window.PaintFrame();
    EXPECT_EQ(PeerOf(window).ncCanvas.pictures.size(), 7 + c.strips)
        << c.clip.left << "," << c.clip.top << "," << c.clip.right << "," << c.clip.bottom;
  }
}

TEST_F(SkinnedFramePaintTest, AnUndecodableBackgroundStillPaintsWithZeroSizes) {
  platform.RemovePng(164);
  FrameTestWindow window(false);
  Open(window, Rect::FromXYWH(0, 0, 800, 600));
  window.PaintFrame();
  const auto drawn = PicturesDrawn(PeerOf(window).ncCanvas);
  ASSERT_GE(drawn.size(), 7u);
  EXPECT_EQ(drawn[0].source, (Rect{39, -3, 42, 0}));  // bottom band from I_h - b
  EXPECT_EQ(drawn[3].source, (Rect{-3, 39, 0, 42}));  // right band from I_w - b
  EXPECT_EQ(drawn[6].source, (Rect{-50, 0, 0, 39}));  // right cap from I_w - R
}

TEST_F(SkinnedFramePaintTest, TheClientAreaIsInsetByTheBordersCaptionAndExtraBottomRows) {
  struct Case {
    bool chat;
    bool calcValidRects;
    Rect proposed;
    Rect expected;
    bool defaulted;
  };
  const Case cases[] = {
      {false, true, {100, 50, 900, 650}, {103, 89, 897, 644}, false},
      {true, true, {100, 50, 534, 436}, {103, 76, 531, 433}, false},
      {false, true, {0, 0, 0, 1}, {3, 39, -3, -5}, false},  // one coordinate above 0 is enough
      {false, true, {-8, -8, 0, 0}, {-8, -8, 0, 0}, true},  // left to the platform
      {false, false, {100, 50, 900, 650}, {100, 50, 900, 650}, false},
  };
  for (const Case& c : cases) {
    FrameTestWindow window(c.chat);
    Open(window, Rect::FromXYWH(100, 50, 800, 600));
    PeerOf(window).log.clear();
    ui::NcCalcSizeParams params;
    params.calcValidRects = c.calcValidRects;
    params.rects[0] = {c.proposed.left, c.proposed.top, c.proposed.right, c.proposed.bottom};
    params.rects[1] = {1, 2, 3, 4};
    EXPECT_EQ(PeerOf(window).SendNcCalcSize(params), 0);
    const auto& r = params.rects[0];
    EXPECT_EQ((Rect{r.left, r.top, r.right, r.bottom}), c.expected) << c.proposed.left << "," << c.proposed.top;
    EXPECT_EQ(params.rects[1].right, 3);  // the other rectangles are left alone
    const auto& log = PeerOf(window).log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "default nccalcsize"), c.defaulted ? 1 : 0);
  }
}

TEST_F(SkinnedFramePaintTest, TheMinimumTrackingHeightIsTheCaptionAndBottomBand) {
  for (const bool chat : {false, true}) {
    FrameTestWindow window(chat);
    Open(window, Rect::FromXYWH(0, 0, 800, 600));
    ui::MinMaxInfo info{.minTrackWidth = 120, .minTrackHeight = 30, .maxTrackWidth = 1930, .maxTrackHeight = 1090};
    PeerOf(window).SendGetMinMaxInfo(info);
    EXPECT_EQ(info.minTrackHeight, chat ? 29 : 42);
    EXPECT_EQ(info.minTrackWidth, 120);
    EXPECT_EQ(info.maxTrackWidth, 1930);
    EXPECT_EQ(PeerOf(window).log.back(), "default getminmaxinfo");
  }
}

TEST_F(SkinnedFramePaintTest, EachSizeChangeLaysTheButtonsOutAndShapesAndRepaintsByItsType) {
  struct Case {
    ui::SizeType type;
    bool shaped;
    int paints;
  };
  const Case cases[] = {
      {ui::SizeType::Restored, true, 1}, {ui::SizeType::Maximized, true, 1}, {ui::SizeType::Minimized, false, 0},
      {ui::SizeType::MaxHide, false, 0}, {ui::SizeType::MaxShow, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    FrameTestWindow window(false);
    Open(window, Rect::FromXYWH(0, 0, 800, 600));
    fake::FakeWindowPeer& peer = PeerOf(window);
    peer.rect = Rect::FromXYWH(0, 0, 1000, 700);
    peer.log.clear();
    peer.SendSize(c.type);
    EXPECT_EQ(std::count(peer.log.begin(), peer.log.end(), "shape"), c.shaped ? 1 : 0);
    if (c.shaped) {
      EXPECT_EQ(peer.lastShape, (Rect{0, 0, 1001, 701}));
      EXPECT_EQ(peer.lastShapeEllipse, (ui::Size{5, 5}));
    }
    EXPECT_EQ(Paints(window), c.paints);
    // Laid out against the current width whatever the type.
    EXPECT_EQ(window.Button(110).m_rect, (Rect{970, 10, 990, 30}));
    EXPECT_EQ(window.Button(14).m_rect, (Rect{605, 10, 715, 30}));
  }
}

TEST_F(SkinnedFramePaintTest, ButtonsAreCreatedWithTheFrameAndPlacedAtEachSize) {
  FrameTestWindow game(false);
  PeerOf(game).rect = Rect::FromXYWH(100, 50, 1000, 700);
  ASSERT_TRUE(game.Create(nullptr));
  struct Place {
    int id;
    Rect created, laid;
    const char* label;
  };
  const Place places[] = {
      {110, {965, 10, 985, 30}, {970, 10, 990, 30}, ""},      {111, {965, 10, 985, 30}, {948, 10, 968, 30}, ""},
      {112, {965, 10, 985, 30}, {926, 10, 946, 30}, ""},      {10, {955, 10, 995, 30}, {735, 10, 775, 30}, "官网"},
      {11, {995, 10, 1035, 30}, {780, 10, 820, 30}, "充值"},  {13, {1035, 10, 1075, 30}, {825, 10, 865, 30}, "清理"},
      {12, {1075, 10, 1115, 30}, {870, 10, 910, 30}, "刷新"}, {14, {1115, 10, 1155, 30}, {605, 10, 715, 30}, "VIP专员"},
  };
  for (const Place& p : places) EXPECT_EQ(game.Button(p.id).m_rect, p.created) << p.id;
  PeerOf(game).SendSize(ui::SizeType::Restored);
  for (const Place& p : places) {
    const CDUIButton& button = game.Button(p.id);
    EXPECT_EQ(button.m_rect, p.laid) << p.id;
    EXPECT_EQ(button.m_strText, p.label);
    EXPECT_EQ(button.m_nCells, 3u);
    EXPECT_EQ(button.m_pOwner, &game);
    EXPECT_EQ(button.m_bVisible, p.id != 14);
    EXPECT_EQ(button.m_pIcon != nullptr, p.id == 14);
  }
  EXPECT_EQ(game.Button(10).m_clrText.r, 217);
  EXPECT_EQ(game.Button(14).m_clrText.g, 255);
  // The VIP icon moved with its button: still at its top-left corner.
  EXPECT_EQ(game.Button(14).m_ptIcon, (ui::Point{605, 10}));
  EXPECT_EQ(game.Button(14).m_pIcon->Width(), 18);
  EXPECT_EQ(game.Button(110).m_pImage->Width(), 60);
  EXPECT_EQ(game.Button(12).m_pImage->Width(), 123);

  FrameTestWindow chat(true);
  PeerOf(chat).rect = Rect::FromXYWH(0, 0, 434, 386);
  ASSERT_TRUE(chat.Create(nullptr));
  EXPECT_EQ(chat.Button(20).m_rect, (Rect{409, 3, 429, 23}));
  PeerOf(chat).rect = Rect::FromXYWH(0, 0, 300, 386);
  PeerOf(chat).SendSize(ui::SizeType::Restored);
  EXPECT_EQ(chat.Button(20).m_rect, (Rect{275, 3, 295, 23}));
}

TEST_F(SkinnedFramePaintTest, ARefusedNonClientCreationMakesNoButtons) {
  FrameTestWindow window(false);
  PeerOf(window).rect = Rect::FromXYWH(0, 0, 800, 600);
  EXPECT_FALSE(PeerOf(window).SendNcCreate(false));
  EXPECT_EQ(window.HitTestButton({775, 15}), -1);
  EXPECT_TRUE(PeerOf(window).SendNcCreate(true));
  // Created over one another from W - 45: the lowest id is found first.
  EXPECT_EQ(window.HitTestButton({775, 15}), 10);
  EXPECT_EQ(window.HitTestButton({796, 15}), 11);
}

TEST_F(SkinnedFramePaintTest, RepaintTriggers) {
  struct Case {
    const char* name;
    std::function<void(fake::FakeWindowPeer&)> send;
    std::vector<std::string> log;  // paints and default processing, in order
  };
  auto raw = [](unsigned message, std::intptr_t expected) {
    return [message, expected](fake::FakeWindowPeer& peer) { EXPECT_EQ(peer.SendRaw(message), expected); };
  };
  const Case cases[] = {
      {"ncpaint", [](fake::FakeWindowPeer& p) { p.SendNcPaint(); }, {"paint-nc"}},
      {"ncactivate", [](fake::FakeWindowPeer& p) { EXPECT_TRUE(p.SendNcActivate(false)); }, {"paint-nc"}},
      {"activate", [](fake::FakeWindowPeer& p) { p.SendActivate(true); }, {"default activate", "paint-nc"}},
      {"minimise",
       [](fake::FakeWindowPeer& p) { p.SendSysCommand(ui::SysCommand::Minimize); },
       {"syscommand 61472", "paint-nc", "default syscommand", "show 6"}},
      {"move",
       [](fake::FakeWindowPeer& p) { p.SendSysCommand(ui::SysCommand::Move); },
       {"syscommand 61456", "paint-nc", "default syscommand"}},
      // A close request is handled before anything is drawn again.
      {"close",
       [](fake::FakeWindowPeer& p) { p.SendSysCommand(ui::SysCommand::Close); },
       {"syscommand 61536", "default syscommand", "close", "end 2"}},
      {"styled caption", raw(0x00AE, 0), {"paint-nc"}},
      {"styled frame", raw(0x00AF, 0), {"paint-nc"}},
      {"menu closed", raw(0x0125, 0), {"paint-nc", "default raw 293"}},
      {"other", raw(0x0086, 0), {"default raw 134"}},
  };
  for (const Case& c : cases) {
    FrameTestWindow window(false);
    Open(window, Rect::FromXYWH(0, 0, 800, 600));
    fake::FakeWindowPeer& peer = PeerOf(window);
    peer.log.clear();
    c.send(peer);
    EXPECT_EQ(peer.log, c.log) << c.name;
  }
}

}  // namespace
