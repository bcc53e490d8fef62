// The non-client area the GTK backend makes for windows that draw their own
// frame: client inset, frame painting, default hit test, the non-client mouse
// messages and their defaults, and the window shape.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "FrameTestWindow.h"
#include "GtkTestSupport.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "ui/Platform.h"
#include "ui/Window.h"

namespace kqvtest {
namespace {

using testing::ElementsAre;

constexpr ui::Color kFrameColour{0, 200, 0, 255};
constexpr int kLeft = 3, kTop = 39, kRight = 3, kBottom = 6;

// A game-window-like dialog with a frame of its own; other templates give
// the same frame to windows of other styles.
class Framed : public ui::Dialog {
 public:
  explicit Framed(int templateId = 134) : ui::Dialog(templateId) {}

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
    Peer().PaintNonClient([](ui::Canvas& canvas, const ui::Rect&) {
      canvas.FillRect({0, 0, 5000, 5000}, kFrameColour);
    });
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
    if (ui::Rect{rect.right - 30, rect.top + 10, rect.right - 10, rect.top + 30}.Contains(screen))
      return ui::Hit::Close;
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

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    // The pointer starts outside the window, as a player's comes to it: a
    // window mapped under a resting pointer may miss its first event in
    // GTK, which is not what these cases are about.
    Xdotool("mousemove 5 5");
  }
  void Open(const ui::Rect& rect) {
    ASSERT_TRUE(window.Create(nullptr));
    window.MoveWindow(rect);
    window.ShowWindow(ui::ShowCommand::Show);
    ASSERT_TRUE(ShownAt(window, window.GetWindowRect()));
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
                        Probe{400, 100 + kTop - 1, true}, Probe{400, 399 - kBottom + 1, true}, Probe{400, 250, false},
                        Probe{200 + kLeft + 30, 100 + kTop, false}}) {
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
    int x, y;                    // in the window
    std::optional<ui::Hit> hit;  // none: the client area
  };
  const Case cases[] = {
      {1, 150, ui::Hit::Left},          {398, 150, ui::Hit::Right},  {200, 1, ui::Hit::Top},
      {200, 298, ui::Hit::Bottom},      {1, 1, ui::Hit::TopLeft},    {10, 2, ui::Hit::TopLeft},
      {398, 298, ui::Hit::BottomRight}, {200, 20, ui::Hit::Caption}, {200, 295, ui::Hit::Border},
      {200, 150, std::nullopt},         {380, 20, ui::Hit::Close},
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

TEST(FrameHitTest, DefaultHitTestFollowsTheTemplatesStyle) {
  // Sizing codes only with a sizing border, the caption only with a caption.
  struct Case {
    int x, y;                          // in a 400 x 300 window
    ui::Hit sizable, captioned, bare;  // templates 134, 105, 130
  };
  const Case cases[] = {
      {1, 150, ui::Hit::Left, ui::Hit::Border, ui::Hit::Border},
      {200, 1, ui::Hit::Top, ui::Hit::Caption, ui::Hit::Border},
      {398, 298, ui::Hit::BottomRight, ui::Hit::Border, ui::Hit::Border},
      {200, 20, ui::Hit::Caption, ui::Hit::Caption, ui::Hit::Border},
      {200, 295, ui::Hit::Border, ui::Hit::Border, ui::Hit::Border},
  };
  for (const int templateId : {134, 105, 130}) {
    Framed window(templateId);
    ASSERT_TRUE(window.Create(nullptr));
    window.MoveWindow(ui::Rect::FromXYWH(300, 200, 400, 300));
    window.ShowWindow(ui::ShowCommand::Show);
    ASSERT_TRUE(ShownAt(window, window.GetWindowRect()));
    for (const Case& c : cases) {
      SCOPED_TRACE("template " + std::to_string(templateId) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
      window.lastMoveHit.reset();
      Xdotool("mousemove " + std::to_string(300 + c.x) + " " + std::to_string(200 + c.y));
      ASSERT_TRUE(PumpUntil([&] { return window.lastMoveHit.has_value(); }, std::chrono::seconds(3)));
      EXPECT_EQ(*window.lastMoveHit, templateId == 134 ? c.sizable : templateId == 105 ? c.captioned : c.bare);
    }
    window.DestroyWindow();
    Xdotool("mousemove 1900 1000");
  }
}

TEST_F(FrameTest, SizingEdgesShowTheResizeShapesAndOnlyThere) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  GdkWindow* gdk = gtk_widget_get_window(static_cast<ui::gtk::GtkWindowPeer&>(window.Peer()).Widget());
  GdkDisplay* display = gdk_window_get_display(gdk);
  // Moves the pointer there; a non-client point waits until the window has
  // seen it.
  const auto pointAt = [&](int x, int y) {
    window.lastMoveHit.reset();
    Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y));
  };
  const auto seen = [&] { return PumpUntil([&] { return window.lastMoveHit.has_value(); }, std::chrono::seconds(5)); };
  // GDK keeps one cursor per name, so the window's own is the one asked
  // for here.
  const auto shows = [&](const char* name) {
    GdkCursor* expected = name ? gdk_cursor_new_from_name(display, name) : nullptr;
    const bool same = gdk_window_get_cursor(gdk) == expected;
    if (expected) g_object_unref(expected);
    return same;
  };
  struct Case {
    int x, y;
    const char* cursor;  // null: the arrow
  };
  const Case cases[] = {
      {1, 150, "w-resize"},  {200, 150, nullptr}, {398, 150, "e-resize"},  {200, 20, nullptr},
      {200, 1, "n-resize"},  {200, 295, nullptr}, {200, 298, "s-resize"},  {380, 20, nullptr},
      {2, 2, "nw-resize"},   {200, 150, nullptr}, {397, 3, "ne-resize"},   {200, 20, nullptr},
      {2, 297, "sw-resize"}, {200, 295, nullptr}, {398, 298, "se-resize"}, {200, 150, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    pointAt(300 + c.x, 200 + c.y);
    // Neighbouring cases differ, so each shape is one the move brought.
    EXPECT_TRUE(PumpUntil([&] { return shows(c.cursor); }, std::chrono::seconds(5)));
  }
  // Maximised, the edges size nothing and show nothing, from the moment
  // the window is maximised under a resize shape.
  pointAt(301, 350);
  ASSERT_TRUE(seen());
  ASSERT_TRUE(shows("w-resize"));
  window.ShowWindow(ui::ShowCommand::Maximize);
  ASSERT_TRUE(PumpUntil([&] { return window.GetWindowRect().left == 0; }));
  EXPECT_TRUE(PumpUntil([&] { return shows(nullptr); }, std::chrono::seconds(2)));
  pointAt(1, 500);
  ASSERT_TRUE(seen());
  EXPECT_EQ(window.lastMoveHit, ui::Hit::Border);
  EXPECT_TRUE(shows(nullptr));
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

TEST_F(FrameTest, ClickLandsWhileTheWindowIsStillReportedWhereItIsNot) {
  // A window placed while hidden (the chat window) and mapped later is
  // first reported at the screen's corner while the window manager puts its
  // frame in place; the settle check finds the truth only 0.7 s later. That
  // report is played here, as the server sends it, and the player's click
  // on the close button in that time must still land.
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  Xdotool("mousemove 680 220");
  GtkWidget* widget = static_cast<ui::gtk::GtkWindowPeer&>(window.Peer()).Widget();
  const auto reportAtTheCorner = [&] {
    GdkEvent* report = gdk_event_new(GDK_CONFIGURE);
    report->configure.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    report->configure.send_event = TRUE;
    report->configure.x = report->configure.y = 0;
    report->configure.width = 400;
    report->configure.height = 300;
    gtk_main_do_event(report);
    gdk_event_free(report);
    return window.GetWindowRect() == ui::Rect::FromXYWH(0, 0, 400, 300);
  };
  // Taken once the window's own placement has been answered.
  ASSERT_TRUE(PumpUntil(reportAtTheCorner)) << "the early report was not taken";
  Xdotool("click 1");
  ASSERT_TRUE(PumpUntil([&] { return !window.IsWindowVisible(); }, std::chrono::seconds(5)))
      << "the click was lost; the window has " << testing::PrintToString(window.log);
  EXPECT_THAT(window.log, ElementsAre("down 20", "up 20", "syscommand 61536", "close", "cancel"));
}

TEST_F(FrameTest, CaptionDoubleClickMaximisesAndRestores) {
  Open(ui::Rect::FromXYWH(300, 200, 400, 300));
  Xdotool("mousemove 450 215 click --repeat 2 --delay 80 1");
  ASSERT_TRUE(PumpUntil([&] { return window.IsZoomed(); }));
  const ui::Size screen = ui::GetPlatform().ScreenSize();
  ASSERT_TRUE(PumpUntil([&] { return window.GetWindowRect() == ui::Rect{0, 0, screen.cx, screen.cy}; }));
  EXPECT_EQ(window.sizes.back(),
            "2 " + std::to_string(screen.cx - kLeft - kRight) + "x" + std::to_string(screen.cy - kTop - kBottom));
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

// The real frame on this backend: its icon opens the system menu.
class MenuFrame : public FrameTestWindow {
 public:
  explicit MenuFrame(bool chat) : FrameTestWindow(chat) {}
  bool FilterMessage(unsigned message, std::intptr_t& result) override {
    if (message == ui::kMsgUninitMenuPopup) log.push_back("uninit");
    return FrameTestWindow::FilterMessage(message, result);
  }
  void OnSysCommand(ui::SysCommand command) override {
    log.push_back("syscommand " + std::to_string(static_cast<unsigned>(command)));
    FrameTestWindow::OnSysCommand(command);
  }
  std::vector<std::string> log;
};

// The system menu that is up, if any.
GtkMenu* ShownMenu() {
  GtkMenu* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* it = windows; it; it = it->next) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(it->data));
    if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(GTK_WIDGET(it->data))) found = GTK_MENU(child);
  }
  g_list_free(windows);
  return found;
}

struct MenuEntry {
  std::string label;
  bool enabled;
  friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
  friend std::ostream& operator<<(std::ostream& out, const MenuEntry& e) {
    return out << e.label << (e.enabled ? "" : " (greyed)");
  }
};

std::vector<MenuEntry> Entries(GtkMenu* menu) {
  std::vector<MenuEntry> entries;
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* it = items; it; it = it->next) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(it->data)) continue;
    const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(it->data));
    entries.push_back({label ? label : "", gtk_widget_get_sensitive(GTK_WIDGET(it->data)) != FALSE});
  }
  g_list_free(items);
  return entries;
}

// The screen point in the middle of the entry whose label starts so.
ui::Point EntryPoint(GtkMenu* menu, const std::string& start) {
  ui::Point point{-1, -1};
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* it = items; it; it = it->next) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(it->data)) continue;
    if (std::string(gtk_menu_item_get_label(GTK_MENU_ITEM(it->data))).rfind(start, 0) != 0) continue;
    GtkAllocation area;
    gtk_widget_get_allocation(GTK_WIDGET(it->data), &area);
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(it->data)), &x, &y);
    point = {x + area.x + area.width / 2, y + area.y + area.height / 2};
  }
  g_list_free(items);
  return point;
}

class SystemMenuTest : public testing::Test {
 protected:
  // Opens the frame at (300, 200) and clicks its icon; the menu that came.
  GtkMenu* OpenMenu(MenuFrame& frame, bool maximise = false) {
    EXPECT_TRUE(frame.Create(nullptr));
    frame.MoveWindow(ui::Rect::FromXYWH(300, 200, 500, 300));
    frame.ShowWindow(maximise ? ui::ShowCommand::Maximize : ui::ShowCommand::Show);
    if (maximise) {
      EXPECT_TRUE(PumpUntil([&] { return frame.GetWindowRect().left == 0 && frame.GetWindowRect().Width() > 1000; }));
    }
    EXPECT_TRUE(ShownAt(frame, frame.GetWindowRect()));
    PumpFor(std::chrono::milliseconds(100));
    const ui::Rect rect = frame.GetWindowRect();
    const ui::Point icon = frame.Variant().iconOrigin;
    click = {rect.left + icon.x + 8, rect.top + icon.y + 8};
    Xdotool("mousemove " + std::to_string(click.x) + " " + std::to_string(click.y) + " click 1");
    GtkMenu* menu = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (menu = ShownMenu()) != nullptr; }, std::chrono::seconds(3)));
    return menu;
  }
  ui::Point click;
};

TEST_F(SystemMenuTest, EntriesAreGreyedByTheWindowsStyleAndStateAndEscapeOnlyClosesIt) {
  struct Case {
    const char* name;
    bool chat, maximise;
    std::vector<bool> enabled;  // restore, move, size, minimise, maximise, close
  };
  const Case cases[] = {
      {"game window", false, false, {false, true, true, true, true, true}},
      {"maximised game window", false, true, {true, false, false, true, false, true}},
      {"chat window", true, false, {false, true, false, false, false, true}},
  };
  const char* labels[] = {"还原(_R)", "移动(_M)", "大小(_S)", "最小化(_N)", "最大化(_X)", "关闭(_C)"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MenuFrame frame(c.chat);
    GtkMenu* menu = OpenMenu(frame, c.maximise);
    ASSERT_NE(menu, nullptr);
    std::vector<MenuEntry> expected;
    for (std::size_t i = 0; i < c.enabled.size(); ++i) expected.push_back({labels[i], c.enabled[i]});
    EXPECT_EQ(Entries(menu), expected);
    // Its top-left corner at the press.
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(GTK_WIDGET(menu))), &x, &y);
    EXPECT_EQ(x, click.x);
    EXPECT_EQ(y, click.y);
    // Dismissed: the closing is told, and no command comes.
    Xdotool("key Escape");
    ASSERT_TRUE(PumpUntil([&] { return !frame.log.empty(); }, std::chrono::seconds(3)));
    PumpFor(std::chrono::milliseconds(150));
    EXPECT_THAT(frame.log, ElementsAre("uninit"));
    EXPECT_EQ(ShownMenu(), nullptr);
    EXPECT_TRUE(frame.IsWindowVisible());
    frame.DestroyWindow();
  }
}

TEST_F(SystemMenuTest, ChosenEntryReachesTheWindowAsItsSystemCommandAfterTheClosing) {
  MenuFrame frame(false);
  GtkMenu* menu = OpenMenu(frame);
  ASSERT_NE(menu, nullptr);
  const ui::Point entry = EntryPoint(menu, "最大化");
  Xdotool("mousemove " + std::to_string(entry.x) + " " + std::to_string(entry.y));
  PumpFor(std::chrono::milliseconds(100));
  Xdotool("click 1");
  ASSERT_TRUE(PumpUntil([&] { return frame.IsZoomed(); }, std::chrono::seconds(3)));
  EXPECT_THAT(frame.log, ElementsAre("uninit", "syscommand 61488"));
  EXPECT_EQ(ShownMenu(), nullptr);

  // Its close entry closes through the window's own close path, once the
  // window is where the window manager has maximised it.
  const ui::Size screen = ui::GetPlatform().ScreenSize();
  ASSERT_TRUE(PumpUntil([&] { return frame.GetWindowRect() == ui::Rect{0, 0, screen.cx, screen.cy}; }));
  frame.log.clear();
  const ui::Rect rect = frame.GetWindowRect();
  const ui::Point icon = frame.Variant().iconOrigin;
  Xdotool("mousemove " + std::to_string(rect.left + icon.x + 8) + " " + std::to_string(rect.top + icon.y + 8) +
          " click 1");
  ASSERT_TRUE(PumpUntil([&] { return (menu = ShownMenu()) != nullptr; }, std::chrono::seconds(3)));
  const ui::Point close = EntryPoint(menu, "关闭");
  Xdotool("mousemove " + std::to_string(close.x) + " " + std::to_string(close.y));
  PumpFor(std::chrono::milliseconds(100));
  Xdotool("click 1");
  ASSERT_TRUE(PumpUntil([&] { return !frame.IsWindowVisible(); }, std::chrono::seconds(3)));
  EXPECT_THAT(frame.log, ElementsAre("uninit", "syscommand 61536"));
  EXPECT_THAT(frame.commands, ElementsAre(ui::kIdCancel));
  frame.DestroyWindow();
}

TEST_F(SystemMenuTest, MoveAndSizeHandTheWindowToTheWindowManagersKeyboardMoveAndResize) {
  struct Case {
    const char* entry;
    unsigned command;
    bool moves;  // else it grows wider
  };
  for (const Case c : {Case{"移动", 0xF010, true}, Case{"大小", 0xF000, false}}) {
    SCOPED_TRACE(c.entry);
    MenuFrame frame(false);
    GtkMenu* menu = OpenMenu(frame);
    ASSERT_NE(menu, nullptr);
    const ui::Rect before = frame.GetWindowRect();
    const ui::Point entry = EntryPoint(menu, c.entry);
    Xdotool("mousemove " + std::to_string(entry.x) + " " + std::to_string(entry.y));
    PumpFor(std::chrono::milliseconds(100));
    Xdotool("click 1");
    ASSERT_TRUE(PumpUntil([&] { return frame.log.size() == 2; }, std::chrono::seconds(3)));
    EXPECT_THAT(frame.log, ElementsAre("uninit", "syscommand " + std::to_string(c.command)));
    PumpFor(std::chrono::milliseconds(200));
    Xdotool("key Right Right Right Return");
    ASSERT_TRUE(PumpUntil([&] { return frame.GetWindowRect() != before; }, std::chrono::seconds(3)));
    PumpFor(std::chrono::milliseconds(200));
    const ui::Rect after = frame.GetWindowRect();
    if (c.moves) {
      EXPECT_GT(after.left, before.left);
      EXPECT_EQ(after.Width(), before.Width());
    } else {
      EXPECT_EQ(after.left, before.left);
      EXPECT_GT(after.Width(), before.Width());
    }
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.Height(), before.Height());
    frame.DestroyWindow();
  }
}

TEST_F(SystemMenuTest, MenuGoesQuietlyWithItsWindow) {
  MenuFrame frame(false);
  ASSERT_NE(OpenMenu(frame), nullptr);
  frame.DestroyWindow();
  PumpFor(std::chrono::milliseconds(200));
  EXPECT_EQ(ShownMenu(), nullptr);
  EXPECT_TRUE(frame.log.empty());
  // Nothing holds the pointer: the next window's icon takes a click.
  MenuFrame next(true);
  ASSERT_NE(OpenMenu(next), nullptr);
  Xdotool("key Escape");
  ASSERT_TRUE(PumpUntil([&] { return !next.log.empty(); }, std::chrono::seconds(3)));
  EXPECT_TRUE(frame.log.empty());
  next.DestroyWindow();
}

TEST(SystemMenu, WindowWithoutCaptionHasNone) {
  Framed window(130);
  ASSERT_TRUE(window.Create(nullptr));
  window.ShowWindow(ui::ShowCommand::Show);
  EXPECT_FALSE(window.Peer().TrackSystemMenu({100, 100}));
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(ShownMenu(), nullptr);
  window.DestroyWindow();
}

}  // namespace
}  // namespace kqvtest
