// The non-client area the GTK backend makes for windows that draw their own
// frame: client inset, frame painting, default hit test, the non-client mouse
// messages and their defaults, and the window shape.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <string>
#include <vector>

#include "GtkTestSupport.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "ui/Platform.h"
#include "ui/Window.h"

namespace kqvtest {
namespace {

using testing::ElementsAre;

constexpr ui::Color kFrameColour{0, 200, 0, 255};
constexpr int kLeft = 3, kTop = 39, kRight = 3, kBottom = 6;



// A game-window-like dialog with a frame of its own.
class Framed : public ui::Dialog {
 public:
  Framed() : ui::Dialog(134) {}

  std::intptr_t OnNcCalcSize(ui::NcCalcSizeParams& params) override {
    auto& r = params.rects[0];
    r.left += kLeft;
    r.top += kTop;
    r.right -= kRight;
    r.bottom -= kBottom;
    return 0;
  }
  void OnNcPaint() override {
    ++paints;
    Peer().PaintNonClient([](ui::Canvas& canvas, const ui::Rect&) { canvas.FillRect({0, 0, 5000, 5000}, kFrameColour); });
  }
  void OnMove(int x, int y) override { moves.push_back({x, y}); }
  void OnSize(ui::SizeType type, int cx, int cy) override {
    sizes.push_back(std::to_string(static_cast<int>(type)) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    if (round && type != ui::SizeType::Minimized) {
      const ui::Rect rect = GetWindowRect();
      Peer().SetRoundShape({0, 0, rect.Width() + 1, rect.Height() + 1}, 5, 5);
    }
  }
  ui::Hit OnNcHitTest(ui::Point screen) override {
    const auto hit = static_cast<ui::Hit>(Default());
    const ui::Rect rect = GetWindowRect();
    // A drawn close button at the caption's right end.
    if (ui::Rect{rect.right - 30, rect.top + 10, rect.right - 10, rect.top + 30}.Contains(screen)) return ui::Hit::Close;
    return hit;
  }
  void OnNcLButtonDown(ui::Hit hit, ui::Point) override {
    log.push_back("down " + std::to_string(static_cast<int>(hit)));
    Default();
  }
  void OnNcLButtonUp(ui::Hit hit, ui::Point) override {
    log.push_back("up " + std::to_string(static_cast<int>(hit)));
    Default();
  }
  void OnNcLButtonDblClk(ui::Hit hit, ui::Point) override {
    log.push_back("double " + std::to_string(static_cast<int>(hit)));
    Default();
  }
  void OnNcMouseMove(ui::Hit hit, ui::Point) override {
    lastMoveHit = hit;
    if (track) Peer().TrackMouseLeave();
  }
  void OnNcMouseLeave() override { log.push_back("leave"); }
  void OnSysCommand(ui::SysCommand command) override {
    log.push_back("syscommand " + std::to_string(static_cast<unsigned>(command)));
    Default();
  }
  void OnClose() override {
    log.push_back("close");
    Default();
  }
  void OnCancel() override {
    log.push_back("cancel");
    ui::Dialog::OnCancel();
  }

  int paints = 0;
  bool round = false;
  bool track = false;
  std::optional<ui::Hit> lastMoveHit;
  std::vector<ui::Point> moves;
  std::vector<std::string> sizes;
  std::vector<std::string> log;
};

bool Settled(ui::Window& window) {
  GtkWidget* widget = static_cast<ui::gtk::GtkWindowPeer&>(window.Peer()).Widget();
  const ui::Rect rect = window.GetWindowRect();
  return PumpUntil([&] {
    GdkWindow* gdk = widget ? gtk_widget_get_window(widget) : nullptr;
    if (!gdk || !gdk_window_is_viewable(gdk)) return false;
    int x = 0, y = 0;
    gdk_window_get_origin(gdk, &x, &y);
    return x == rect.left && y == rect.top && gdk_window_get_width(gdk) == rect.Width() &&
           gdk_window_get_height(gdk) == rect.Height();
  });
}

class FrameTest : public testing::Test {
 protected:
  void Open(const ui::Rect& rect) {
    ASSERT_TRUE(window.Create(nullptr));
    window.MoveWindow(rect);
    window.ShowWindow(ui::ShowCommand::Show);
    ASSERT_TRUE(Settled(window));
  }
  void TearDown() override { window.DestroyWindow(); }
  Framed window;
};

TEST_F(FrameTest, ClientAreaIsWhatCalcSizeLeavesAndTheFrameIsDrawnAroundIt) {
  Open(ui::Rect::FromXYWH(200, 100, 400, 300));
  EXPECT_EQ(window.GetClientRect(), (ui::Rect{0, 0, 400 - kLeft - kRight, 300 - kTop - kBottom}));
  ASSERT_FALSE(window.moves.empty());
  EXPECT_EQ(window.moves.back(), (ui::Point{200 + kLeft, 100 + kTop}));
  EXPECT_EQ(window.sizes.back(), "0 394x255");
  EXPECT_GT(window.paints, 0);

  // Children are placed in client coordinates.
  window.Peer().AttachPictureButton(7, 135, 151);
  window.Peer().MoveControl(7, {0, 0, 23, 23}, true);
  const std::array<int, 3> green{0, 200, 0};
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(201, 101) == green; }));
  struct Probe {
    int x, y;
    bool frame;
  };
  for (const Probe p : {Probe{200, 100, true}, Probe{599, 399, true}, Probe{200 + kLeft - 1, 250, true},
                        Probe{400, 100 + kTop - 1, true}, Probe{400, 399 - kBottom + 1, true},
                        Probe{400, 250, false}, Probe{200 + kLeft + 30, 100 + kTop, false}}) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(ScreenPixel(p.x, p.y) == green, p.frame);
  }
  // The button's top-left pixel sits at the client origin, not the window's.
  EXPECT_NE(ScreenPixel(200 + kLeft, 100 + kTop), green);
  EXPECT_EQ(ScreenPixel(200 + kLeft, 100 + kTop - 1), green);
}

TEST_F(FrameTest, DefaultHitTestGivesEdgesCaptionBorderAndClient) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  struct Case {
    int x, y;  // in the window
    std::optional<ui::Hit> hit;  // none: the client area
  };
  const Case cases[] = {
      {1, 150, ui::Hit::Left},       {398, 150, ui::Hit::Right},      {200, 1, ui::Hit::Top},
      {200, 298, ui::Hit::Bottom},   {1, 1, ui::Hit::TopLeft},        {10, 2, ui::Hit::TopLeft},
      {398, 298, ui::Hit::BottomRight}, {200, 20, ui::Hit::Caption},  {200, 295, ui::Hit::Border},
      {200, 150, std::nullopt},      {380, 20, ui::Hit::Close},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    window.lastMoveHit.reset();
    Xdotool("mousemove " + std::to_string(300 + c.x) + " " + std::to_string(200 + c.y));
    if (c.hit) {
      ASSERT_TRUE(PumpUntil([&] { return window.lastMoveHit.has_value(); }, std::chrono::seconds(3)));
      EXPECT_EQ(*window.lastMoveHit, *c.hit);
    } else {
      PumpFor(std::chrono::milliseconds(150));
      EXPECT_FALSE(window.lastMoveHit.has_value());
    }
  }
}

TEST_F(FrameTest, LeaveIsReportedOnceAfterTrackingWhenThePointerGoesToTheClientArea) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  window.track = true;
  Xdotool("mousemove 500 215");
  ASSERT_TRUE(PumpUntil([&] { return window.lastMoveHit == ui::Hit::Caption; }));
  window.track = false;
  Xdotool("mousemove 500 350");
  ASSERT_TRUE(PumpUntil([&] { return !window.log.empty(); }));
  Xdotool("mousemove 900 900");
  PumpFor(std::chrono::milliseconds(200));
  EXPECT_THAT(window.log, ElementsAre("leave"));
}

TEST_F(FrameTest, DrawnCloseButtonClosesThroughTheSystemCommandAndTheDialogManager) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  Xdotool("mousemove 680 220 click 1");
  ASSERT_TRUE(PumpUntil([&] { return !window.IsWindowVisible(); }));
  EXPECT_THAT(window.log, ElementsAre("down 20", "up 20", "syscommand 61536", "close", "cancel"));
}

TEST_F(FrameTest, CaptionDoubleClickMaximisesAndRestores) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  Xdotool("mousemove 450 215 click --repeat 2 --delay 80 1");
  ASSERT_TRUE(PumpUntil([&] { return window.IsZoomed(); }));
  const ui::Size screen = ui::GetPlatform().ScreenSize();
  ASSERT_TRUE(PumpUntil([&] { return window.GetWindowRect() == ui::Rect{0, 0, screen.cx, screen.cy}; }));
  EXPECT_EQ(window.sizes.back(), "2 " + std::to_string(screen.cx - kLeft - kRight) + "x" +
                                     std::to_string(screen.cy - kTop - kBottom));
  // A click on the caption is no drag: both presses reach the window.
  EXPECT_THAT(window.log, ElementsAre("down 2", "up 2", "double 2", "syscommand 61488", "up 2"));

  window.log.clear();
  Xdotool("mousemove 450 15 click --repeat 2 --delay 80 1");
  ASSERT_TRUE(PumpUntil([&] { return !window.IsZoomed(); }));
  EXPECT_TRUE(PumpUntil([&] { return window.GetWindowRect() == ui::Rect::FromXYWH(300, 200, 400, 300); }));
  EXPECT_EQ(window.sizes.back(), "0 394x255");
}

TEST_F(FrameTest, RoundShapeCutsTheCorners) {
  window.round = true;
  const auto below = ScreenPixel(200, 100);
  Open(ui::Rect::FromXYWH(200, 100, 400, 300));
  const std::array<int, 3> green{0, 200, 0};
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(205, 105) == green; }));
  EXPECT_EQ(ScreenPixel(200, 100), below);
  EXPECT_EQ(ScreenPixel(599, 399), below);
  EXPECT_EQ(ScreenPixel(203, 100), green);
  EXPECT_EQ(ScreenPixel(599, 250), green);
}

}  // namespace
}  // namespace kqvtest
