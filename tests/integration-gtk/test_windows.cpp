// The GTK window peer with real windows on a real display: the order of the
// handlers, modal loops, keys, close requests, pixels and clicks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <functional>
#include <map>
#include <utility>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "GtkTestSupport.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "ui/Platform.h"
#include "ui/Window.h"

namespace kqvtest {
namespace {

using testing::ElementsAre;

// A dialog that writes down the handlers the platform calls.
class Recording : public ui::Dialog {
 public:
  explicit Recording(int templateId) : ui::Dialog(templateId) {}

  int OnCreate() override {
    log.push_back("create");
    return ui::Dialog::OnCreate();
  }
  bool OnInitDialog() override {
    log.push_back("initdialog");
    if (onInit) onInit(*this);
    return true;
  }
  void OnMove(int x, int y) override {
    log.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    ui::Dialog::OnMove(x, y);
  }
  void OnSize(ui::SizeType type, int cx, int cy) override {
    log.push_back("size " + std::to_string(static_cast<int>(type)) + " " + std::to_string(cx) + "x" +
                  std::to_string(cy));
    ui::Dialog::OnSize(type, cx, cy);
  }
  void OnClose() override {
    log.push_back("close");
    ui::Dialog::OnClose();
  }
  bool OnCommand(int id) override {
    log.push_back("command " + std::to_string(id));
    if (onCommand) return onCommand(id);
    return ui::Dialog::OnCommand(id);
  }
  bool PreTranslateMessage(const ui::Message& message) override {
    if (message.kind == ui::Message::Kind::KeyDown) keys.push_back(message.key);
    return filter && filter(message);
  }
  void OnNcLButtonDown(ui::Hit hit, ui::Point screen) override {
    log.push_back("ncdown");
    ui::Dialog::OnNcLButtonDown(hit, screen);
  }
  ui::Hit OnNcHitTest(ui::Point screen) override {
    const auto hit = ui::Dialog::OnNcHitTest(screen);
    return hitAnswer ? *hitAnswer : hit;
  }

  std::vector<std::string> log;
  std::vector<unsigned> keys;
  std::function<void(Recording&)> onInit;
  std::function<bool(int)> onCommand;
  std::function<bool(const ui::Message&)> filter;
  std::optional<ui::Hit> hitAnswer;
};

std::vector<std::string> Only(const std::vector<std::string>& log, const std::string& prefix) {
  std::vector<std::string> kept;
  for (const auto& entry : log) {
    if (entry.rfind(prefix, 0) == 0) kept.push_back(entry);
  }
  return kept;
}

TEST(GtkWindowTest, CreationSendsTheWindowsMessagesInOrderAndTheTemplateDecidesVisibility) {
  struct Case {
    int templateId;
    bool visible;
    const char* title;
  };
  for (const Case c : {Case{102, true, ""}, Case{105, false, "对话框"}, Case{130, false, ""}, Case{134, false, ""}}) {
    SCOPED_TRACE(c.templateId);
    Recording window(c.templateId);
    ASSERT_TRUE(window.Create(nullptr));
    const ui::Rect rect = window.GetWindowRect();
    EXPECT_THAT(window.log, ElementsAre("create", "move 0,0",
                                        "size 0 " + std::to_string(rect.Width()) + "x" + std::to_string(rect.Height()),
                                        "initdialog"));
    EXPECT_GT(rect.Width(), 0);
    EXPECT_EQ(window.IsWindowVisible(), c.visible);
    EXPECT_EQ(window.GetWindowText(), c.title);
    window.DestroyWindow();
    EXPECT_FALSE(window.IsWindow());
  }
  Recording unknown(999);
  EXPECT_FALSE(unknown.Create(nullptr));
}

TEST(GtkWindowTest, MoveNotifiesAtOnceAndTheWindowManagerDoesNotBounceIt) {
  Recording window(134);
  ASSERT_TRUE(window.Create(nullptr));
  window.ShowWindow(ui::ShowCommand::Show);
  const ui::Rect first = ui::Rect::FromXYWH(100, 80, 300, 200);
  const ui::Rect second = ui::Rect::FromXYWH(140, 90, 320, 240);
  window.log.clear();
  window.MoveWindow(first);
  window.MoveWindow(second);
  EXPECT_THAT(window.log, ElementsAre("move 100,80", "size 0 300x200", "move 140,90", "size 0 320x240"));
  EXPECT_EQ(window.GetWindowRect(), second);
  ASSERT_TRUE(ShownAt(window, second));
  PumpFor(std::chrono::milliseconds(200));
  // The window manager's confirmations of both requests change nothing.
  EXPECT_EQ(window.log.size(), 4u) << testing::PrintToString(window.log);
  EXPECT_EQ(window.GetWindowRect(), second);
}

TEST(GtkWindowTest, ModalLoopEndsWithTheResultOrACloseRequest) {
  struct Case {
    const char* name;
    std::function<void(Recording&)> during;
    int result;
  };
  const Case cases[] = {
      {"end dialog", [](Recording& w) { w.EndDialog(42); }, 42},
      // A close request is the dialog manager's cancel.
      {"close request", [](Recording& w) { gtk_window_close(GTK_WINDOW(WidgetOf(w))); }, ui::kIdCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recording window(130);
    window.onInit = [&](Recording& w) {
      g_idle_add_full(
          G_PRIORITY_DEFAULT,
          [](gpointer data) {
            auto* pair = static_cast<std::pair<const Case*, Recording*>*>(data);
            pair->first->during(*pair->second);
            return G_SOURCE_REMOVE;
          },
          new std::pair<const Case*, Recording*>(&c, &w),
          [](gpointer data) { delete static_cast<std::pair<const Case*, Recording*>*>(data); });
    };
    EXPECT_EQ(window.DoModal(), c.result);
    EXPECT_FALSE(window.IsWindow());
  }
}

TEST(GtkWindowTest, QuitRequestEndsEveryModalLoopAndLaterOnesAtOnce) {
  // A platform of its own: a quit request cannot be taken back.
  ui::Platform& shared = ui::GetPlatform();
  ui::gtk::GtkPlatform quitting({});
  ui::SetPlatform(&quitting);
  {
    Recording outer(102);
    Recording inner(130);
    int innerResult = 0;
    outer.onInit = [&](Recording&) {
      g_idle_add(
          [](gpointer data) {
            auto* pair = static_cast<std::pair<Recording*, int*>*>(data);
            pair->first->onInit = [](Recording&) {
              g_idle_add(
                  [](gpointer) {
                    ui::GetPlatform().PostQuit(0);
                    return G_SOURCE_REMOVE;
                  },
                  nullptr);
            };
            *pair->second = pair->first->DoModal();
            return G_SOURCE_REMOVE;
          },
          new std::pair<Recording*, int*>(&inner, &innerResult));
    };
    EXPECT_EQ(outer.DoModal(), ui::kModalQuit);
    EXPECT_EQ(innerResult, ui::kModalQuit);
    Recording later(105);
    EXPECT_EQ(later.DoModal(), ui::kModalQuit);
    EXPECT_EQ(later.MessageBox("?", "", ui::kMbYesNo), ui::kIdNo);
  }
  ui::SetPlatform(&shared);
}

// Keys go to the focus window's filter, then its owners', then the dialog
// manager; only Return and Escape mean something to the latter.
TEST(GtkWindowTest, KeysPassTheFiltersBeforeTheDialogManager) {
  struct Case {
    const char* name;
    guint keyval;
    bool ownFilter;
    bool ownerFilter;
    std::vector<std::string> commands;
    std::vector<unsigned> ownerSaw;
  };
  const Case cases[] = {
      {"return", GDK_KEY_Return, false, false, {"command 1"}, {13}},
      {"escape", GDK_KEY_Escape, false, false, {"command 2"}, {27}},
      {"keypad enter", GDK_KEY_KP_Enter, false, false, {"command 1"}, {13}},
      {"a letter", GDK_KEY_a, false, false, {}, {'A'}},
      {"own filter swallows", GDK_KEY_Return, true, false, {}, {}},
      {"owner's filter swallows", GDK_KEY_Escape, false, true, {}, {27}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recording owner(102);
    ASSERT_TRUE(owner.Create(nullptr));
    Recording window(130);
    ASSERT_TRUE(window.Create(&owner));
    window.ShowWindow(ui::ShowCommand::Show);
    window.onCommand = [](int) { return true; };
    owner.onCommand = [](int) { return true; };
    window.filter = [&](const ui::Message&) { return c.ownFilter; };
    owner.filter = [&](const ui::Message&) { return c.ownerFilter; };
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_realized(WidgetOf(window)); }));

    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(WidgetOf(window))));
    event->key.keyval = c.keyval;
    event->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(WidgetOf(window), event);
    gdk_event_free(event);

    EXPECT_EQ(Only(window.log, "command"), c.commands);
    EXPECT_TRUE(Only(owner.log, "command").empty());
    EXPECT_EQ(owner.keys, c.ownerSaw);
  }
}

bool Near(const std::array<int, 3>& actual, const std::array<int, 3>& expected, int tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(actual[i] - expected[i]) > tolerance) return false;
  }
  return true;
}

std::string Describe(const std::array<int, 3>& c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

TEST(GtkWindowTest, LayeredPictureShowsItsAlphaAndLetsTheScreenThroughWhereTransparent) {
  // A desktop that is not black, so that a dark fringe cannot pass for the
  // art or for the desktop.
  const std::array<int, 3> desktop{58, 123, 213};
  ASSERT_EQ(std::system("xsetroot -solid '#3a7bd5'"), 0);
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(1500, 900) == desktop; })) << Describe(ScreenPixel(1500, 900));

  // Bands of 20 pixels, each one colour at one alpha. Without a compositor a
  // pixel at half alpha or more shows its own straight colour and one below
  // half is not part of the window; with one, only the ends are certain.
  struct Band {
    std::array<int, 3> colour;  // straight red, green, blue
    int alpha;
    bool shownWithoutCompositor;
  };
  const Band bands[] = {
      {{255, 0, 0}, 255, true},  {{0, 255, 0}, 128, true},    {{40, 80, 200}, 200, true},
      {{0, 0, 255}, 100, false}, {{255, 255, 255}, 0, false},
  };
  constexpr int kBand = 20, kHeight = 40;
  const int width = kBand * static_cast<int>(std::size(bands));
  ui::PixelImage picture{.width = width, .height = kHeight, .bitsPerPixel = 32, .pitch = width * 4, .pixels = {}};
  picture.pixels.resize(static_cast<std::size_t>(width) * kHeight * 4);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < width; ++x) {
      const Band& band = bands[x / kBand];
      std::uint8_t* p = &picture.pixels[(y * width + x) * 4];
      // Premultiplied blue, green, red, alpha, as the launcher hands it over.
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(band.colour[2 - c] * band.alpha / 255);
      p[3] = static_cast<std::uint8_t>(band.alpha);
    }
  }
  Recording window(102);
  window.onInit = [&](Recording& w) {
    w.Peer().AddLayeredStyle();
    w.Peer().UpdateLayered(picture);
    w.MoveWindow(ui::Rect::FromXYWH(400, 300, width, kHeight));
  };
  PumpFor(std::chrono::milliseconds(300));  // windows of earlier tests gone from the screen
  ASSERT_TRUE(window.Create(nullptr));
  EXPECT_EQ(window.GetWindowRect(), ui::Rect::FromXYWH(400, 300, width, kHeight));
  ASSERT_TRUE(ShownAt(window, window.GetWindowRect()));
  const bool composited = gdk_screen_is_composited(gdk_screen_get_default());
  const int middle = 300 + kHeight / 2;
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(410, middle) == bands[0].colour; }))
      << Describe(ScreenPixel(410, middle));
  for (std::size_t i = 0; i < std::size(bands); ++i) {
    const Band& band = bands[i];
    if (composited && band.alpha != 0 && band.alpha != 255) continue;
    const bool shown = composited ? band.alpha == 255 : band.shownWithoutCompositor;
    const std::array<int, 3> expected = shown ? band.colour : desktop;
    // Every column of the band, edges included, and rows at the top, middle
    // and bottom.
    for (int x = 400 + kBand * static_cast<int>(i); x < 400 + kBand * static_cast<int>(i + 1); ++x) {
      for (int y : {300, middle, 300 + kHeight - 1}) {
        const auto actual = ScreenPixel(x, y);
        EXPECT_TRUE(Near(actual, expected, 2)) << "band " << i << " (alpha " << band.alpha << ") at " << x << "," << y
                                               << " shows " << Describe(actual) << ", not " << Describe(expected);
      }
    }
  }

  // A click where the window shows nothing reaches what lies below; one on
  // the picture reaches the window.
  int hits = 0;
  GtkWidget* widget = WidgetOf(window);
  gulong handler = g_signal_connect(widget, "button-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer n) {
                                      ++*static_cast<int*>(n);
                                      return FALSE;
                                    }),
                                    &hits);
  for (int x : {400 + 4 * kBand + 10, composited ? 400 + 4 * kBand + 5 : 400 + 3 * kBand + 10}) {
    Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(middle) + " click 1");
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(hits, 0) << "a click at " << x << " reached the window";
  }
  Xdotool("mousemove " + std::to_string(400 + kBand + 10) + " " + std::to_string(middle) + " click 1");
  EXPECT_TRUE(PumpUntil([&] { return hits > 0; }));
  g_signal_handler_disconnect(widget, handler);
  window.DestroyWindow();
}

TEST(GtkWindowTest, TheServerShowsTheWindowsBackgroundBeforeItsFirstDraw) {
  // Mapped while this process draws nothing (no event is handled): what the
  // screen shows is what the X server fills the window with. A window with a
  // background shows its colour; never a blank, and never what lay below.
  const std::array<int, 3> desktop{58, 123, 213};
  ASSERT_EQ(std::system("xsetroot -solid '#3a7bd5'"), 0);
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(1500, 900) == desktop; })) << Describe(ScreenPixel(1500, 900));
  constexpr int kWidth = 120, kHeight = 60;
  const std::array<int, 3> body{26, 20, 18}, light{250, 250, 250}, artColour{200, 40, 90};
  ui::PixelImage art{.width = kWidth, .height = kHeight, .bitsPerPixel = 32, .pitch = kWidth * 4, .pixels = {}};
  for (int i = 0; i < kWidth * kHeight; ++i) {
    // Opaque, premultiplied blue, green, red, alpha.
    art.pixels.insert(art.pixels.end(),
                      {std::uint8_t(artColour[2]), std::uint8_t(artColour[1]), std::uint8_t(artColour[0]), 255});
  }
  struct Case {
    const char* name;
    std::function<void(Recording&)> look;
    std::array<int, 3> expected;
  };
  const Case cases[] = {
      {"dark",
       [&](Recording& w) {
         w.Peer().SetBackgroundColor({26, 20, 18, 255});
       },
       body},
      {"light",
       [&](Recording& w) {
         w.Peer().SetBackgroundColor({250, 250, 250, 255});
       },
       light},
      // The splash: made at its template's size and grown by its picture.
      {"layered",
       [&](Recording& w) {
         w.Peer().AddLayeredStyle();
         w.Peer().UpdateLayered(art);
       },
       artColour},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PumpFor(std::chrono::milliseconds(300));  // earlier windows gone from the screen
    ASSERT_EQ(ScreenPixel(460, 330), desktop);
    Recording window(102);
    window.onInit = [&](Recording& w) {
      c.look(w);
      w.MoveWindow(ui::Rect::FromXYWH(400, 300, kWidth, kHeight));
    };
    int draws = 0;
    ASSERT_TRUE(window.Create(nullptr));  // shown: the template is visible
    // Counted by the window's frame clock: a layered window's own draw
    // handler ends the signal, so a handler of the test's would never run.
    GdkFrameClock* clock = gdk_window_get_frame_clock(gtk_widget_get_window(WidgetOf(window)));
    const gulong counter = g_signal_connect(
        clock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer n) { ++*static_cast<int*>(n); }), &draws);
    // Only the window manager's doing: it maps the window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ScreenPixel(460, 330) == desktop && std::chrono::steady_clock::now() < deadline) g_usleep(5000);
    EXPECT_EQ(draws, 0);
    for (const auto& [x, y] : {std::pair{401, 301}, std::pair{460, 330}, std::pair{518, 358}}) {
      EXPECT_EQ(ScreenPixel(x, y), c.expected) << "at " << x << "," << y << " before the first draw";
    }
    // And so it stays once the window draws.
    ASSERT_TRUE(PumpUntil([&] { return draws > 0; }));
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(ScreenPixel(460, 330), c.expected);
    g_signal_handler_disconnect(clock, counter);
    window.DestroyWindow();
  }
}

TEST(GtkWindowTest, ColourKeyedWindowIsItsButtonsAndAButtonClickIsACommand) {
  Recording window(130);
  window.onInit = [](Recording& w) {
    w.Peer().SetColorKey({255, 0, 255, 255});
    w.Peer().AttachPictureButton(1, 135, 151);
  };
  ASSERT_TRUE(window.Create(nullptr));
  ASSERT_TRUE(window.Peer().HasControl(1));
  EXPECT_FALSE(window.Peer().HasControl(1001));
  window.MoveWindow(ui::Rect::FromXYWH(600, 400, 200, 100));
  window.Peer().MoveControl(1, ui::Rect::FromXYWH(50, 30, 23, 23), true);
  window.ShowWindow(ui::ShowCommand::Show);
  ASSERT_TRUE(ShownAt(window, window.GetWindowRect()));
  std::vector<std::string> commands;
  window.onCommand = [&](int id) {
    commands.push_back(std::to_string(id));
    return true;
  };

  // The bitmaps as the screen must show them.
  auto pictureAt = [](int bitmap) {
    auto bytes = ui::GetPlatform().FindResource(ui::ResourceType::Bitmap, bitmap);
    GdkPixbuf* pixbuf = ui::gtk::PixbufFromBytes(*bytes, "bmp");
    const guchar* p =
        gdk_pixbuf_read_pixels(pixbuf) + 11 * gdk_pixbuf_get_rowstride(pixbuf) + 11 * gdk_pixbuf_get_n_channels(pixbuf);
    std::array<int, 3> rgb{p[0], p[1], p[2]};
    g_object_unref(pixbuf);
    return rgb;
  };
  const auto normal = pictureAt(135);
  const auto pressed = pictureAt(151);
  ASSERT_NE(normal, pressed);
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(661, 441) == normal; }));
  // Outside the button the window is not there at all.
  EXPECT_NE(ScreenPixel(605, 405), (std::array<int, 3>{255, 0, 255}));

  Xdotool("mousemove 661 441 mousedown 1");
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(661, 441) == pressed; }));
  EXPECT_TRUE(commands.empty());
  Xdotool("mouseup 1");
  EXPECT_TRUE(PumpUntil([&] { return commands.size() == 1; }));
  EXPECT_THAT(commands, ElementsAre("1"));
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(661, 441) == normal; }));

  // Pressed, then released away from it: no click.
  Xdotool("mousemove 661 441 mousedown 1 mousemove 700 480 mouseup 1");
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(commands.size(), 1u);
  window.DestroyWindow();
}

TEST(GtkWindowTest, CaptionDragMovesTheWindowAndReportsEachMove) {
  Recording window(130);
  window.onInit = [](Recording& w) { w.hitAnswer = ui::Hit::Caption; };
  ASSERT_TRUE(window.Create(nullptr));
  window.MoveWindow(ui::Rect::FromXYWH(300, 200, 200, 120));
  window.ShowWindow(ui::ShowCommand::Show);
  ASSERT_TRUE(ShownAt(window, window.GetWindowRect()));
  window.log.clear();
  Xdotool(
      "mousemove 350 250 mousedown 1 sleep 0.1 mousemove 370 260 sleep 0.05 mousemove 390 270 sleep 0.05 "
      "mousemove 410 280");
  // Still held: the window is already where the pointer took it, and it
  // said so at each step, not only at the drop.
  const ui::Rect moved = ui::Rect::FromXYWH(360, 230, 200, 120);
  EXPECT_TRUE(PumpUntil([&] { return window.GetWindowRect() == moved; }));
  EXPECT_TRUE(ShownAt(window, moved));
  EXPECT_GE(Only(window.log, "move").size(), 2u);
  Xdotool("mouseup 1");
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(ShownAt(window, moved));
  ASSERT_FALSE(Only(window.log, "move").empty());
  EXPECT_EQ(Only(window.log, "move").back(), "move 360,230");
  window.DestroyWindow();
}

TEST(GtkWindowTest, OwnedWindowGoesWithItsOwner) {
  Recording owner(102);
  ASSERT_TRUE(owner.Create(nullptr));
  Recording owned(130);
  ASSERT_TRUE(owned.Create(&owner));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(WidgetOf(owned))), GTK_WINDOW(WidgetOf(owner)));
  owner.DestroyWindow();
  EXPECT_FALSE(owned.IsWindow());
  // No handler ran while they went.
  EXPECT_THAT(Only(owned.log, "close"), testing::IsEmpty());
}

// Runs an xdotool command a moment from now, while the caller is inside a
// modal loop.
void XdotoolLater(const std::string& arguments) {
  gchar* argv[] = {g_strdup("/bin/sh"), g_strdup("-c"), g_strdup(("sleep 0.3; xdotool " + arguments).c_str()), nullptr};
  g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, nullptr);
  for (gchar* arg : argv) g_free(arg);
}

GtkMessageDialog* OpenMessageBox() {
  GList* windows = gtk_window_list_toplevels();
  GtkMessageDialog* found = nullptr;
  for (GList* it = windows; it; it = it->next) {
    if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data)))
      found = GTK_MESSAGE_DIALOG(it->data);
  }
  g_list_free(windows);
  return found;
}

std::string ButtonLabel(GtkMessageDialog* box, int response) {
  GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), response);
  return button ? gtk_button_get_label(GTK_BUTTON(button)) : "";
}

// A screen point in the middle of one of the box's buttons.
ui::Point ButtonCentre(GtkMessageDialog* box, int response) {
  GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), response);
  GtkAllocation area;
  gtk_widget_get_allocation(button, &area);
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(box)), &x, &y);
  return {x + area.x + area.width / 2, y + area.y + area.height / 2};
}

// Every way a player answers or closes a box ends it once, with the answer
// Windows gives, without a critical (the suite runs with fatal criticals).
TEST(GtkWindowTest, MessageBoxAnswersEveryCloseWithoutTakingItsOwnersInput) {
  struct Case {
    unsigned style;
    const char* action;  // what the player does with the box open
    int answer;
  };
  struct Seen {
    std::string title, text;
    GtkMessageType type = GTK_MESSAGE_ERROR;
    GtkWindow* parent = nullptr;
    std::vector<std::string> labels;
    ui::Point centre;
    std::size_t ownerLogBefore = 0;
    std::string action;
    ui::Point ownerCorner;
    Recording* owner = nullptr;
    std::optional<ui::Point> lastOrigin;
  };
  Recording owner(102);
  owner.hitAnswer = ui::Hit::Caption;
  ASSERT_TRUE(owner.Create(nullptr));
  owner.MoveWindow(ui::Rect::FromXYWH(300, 200, 640, 400), true);
  ASSERT_TRUE(ShownAt(owner, ui::Rect::FromXYWH(300, 200, 640, 400)));
  for (const Case c : {Case{ui::kMbYesNo, "key y", ui::kIdYes}, Case{ui::kMbYesNo, "key n", ui::kIdNo},
                       Case{ui::kMbYesNo, "key Return", ui::kIdYes}, Case{ui::kMbYesNo, "click no", ui::kIdNo},
                       Case{ui::kMbYesNo, "click yes", ui::kIdYes}, Case{ui::kMbYesNo, "key Escape", ui::kIdNo},
                       Case{ui::kMbYesNo, "key alt+F4", ui::kIdNo}, Case{ui::kMbOk, "key Return", ui::kIdOk},
                       Case{ui::kMbOk, "key Escape", ui::kIdOk}, Case{ui::kMbOk, "key alt+F4", ui::kIdOk}}) {
    SCOPED_TRACE(c.action);
    Seen seen;
    seen.action = c.action;
    seen.owner = &owner;
    seen.ownerCorner = {310, 210};
    g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
          auto* s = static_cast<Seen*>(data);
          GtkMessageDialog* box = OpenMessageBox();
          GdkWindow* gdk = box ? gtk_widget_get_window(GTK_WIDGET(box)) : nullptr;
          if (!gdk || !gdk_window_is_viewable(gdk)) return G_SOURCE_CONTINUE;
          // Placed by the window manager before it is looked at: while the
          // manager builds its frame the box reads as at the screen's corner,
          // so it is looked at once its place holds between two polls.
          int x = 0, y = 0;
          gdk_window_get_origin(gdk, &x, &y);
          const ui::Point origin{x, y};
          const bool placed = s->lastOrigin == origin && (x > 0 || y > 0);
          s->lastOrigin = origin;
          if (!placed) return G_SOURCE_CONTINUE;
          s->title = gtk_window_get_title(GTK_WINDOW(box));
          gchar* message = nullptr;
          g_object_get(box, "text", &message, "message-type", &s->type, nullptr);
          s->text = message ? message : "";
          g_free(message);
          s->parent = gtk_window_get_transient_for(GTK_WINDOW(box));
          for (int response : {GTK_RESPONSE_YES, GTK_RESPONSE_NO, GTK_RESPONSE_OK}) {
            const std::string label = ButtonLabel(box, response);
            if (!label.empty()) s->labels.push_back(label);
          }
          s->centre = {x + gdk_window_get_width(gdk) / 2, y + gdk_window_get_height(gdk) / 2};
          // A press on the owner while the box is up reaches nothing of it.
          s->ownerLogBefore = s->owner->log.size();
          Xdotool("mousemove " + std::to_string(s->ownerCorner.x) + " " + std::to_string(s->ownerCorner.y) +
                  " click 1");
          PumpFor(std::chrono::milliseconds(300));
          s->ownerLogBefore = s->owner->log.size() - s->ownerLogBefore;
          if (s->action.rfind("click ", 0) == 0) {
            const ui::Point at = ButtonCentre(box, s->action == "click yes" ? GTK_RESPONSE_YES : GTK_RESPONSE_NO);
            XdotoolLater("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1");
          } else {
            // The box has the focus once it is up; the keys go to it.
            gtk_window_present(GTK_WINDOW(box));
            XdotoolLater(s->action);
          }
          return G_SOURCE_REMOVE;
        },
        &seen);
    EXPECT_EQ(owner.MessageBox("正在游戏中，确定退出？", "关闭提示", c.style), c.answer);
    EXPECT_EQ(seen.title, "关闭提示");
    EXPECT_EQ(seen.text, "正在游戏中，确定退出？");
    EXPECT_EQ(seen.type, GTK_MESSAGE_OTHER);  // no icon
    EXPECT_EQ(seen.parent, GTK_WINDOW(WidgetOf(owner)));
    const std::vector<std::string> labels =
        c.style == ui::kMbYesNo ? std::vector<std::string>{"是", "否"} : std::vector<std::string>{"确定"};
    EXPECT_EQ(seen.labels, labels);
    EXPECT_NEAR(seen.centre.x, 300 + 320, 2);
    // The window manager puts its title bar where GTK asked for the box.
    EXPECT_NEAR(seen.centre.y, 200 + 200, 24);
    EXPECT_EQ(seen.ownerLogBefore, 0u) << "the owner took a click while its box was up";
    EXPECT_EQ(OpenMessageBox(), nullptr);
    PumpFor(std::chrono::milliseconds(200));
  }
  // With no box up the same click reaches the owner: the check above can fail.
  const std::size_t before = owner.log.size();
  Xdotool("mousemove 310 210 click 1");
  EXPECT_TRUE(PumpUntil([&] { return owner.log.size() > before; }, std::chrono::seconds(3)));
  owner.DestroyWindow();
}

// The window manager's title bar of a shown box, read from the screen: the
// rows between the top of its frame and its client area, borders left out.
struct TitleBar {
  int width = 0, height = 0;
  std::vector<std::array<guint8, 3>> pixels;
  const std::array<guint8, 3>& At(int x, int y) const { return pixels[y * width + x]; }
};

TitleBar ReadTitleBar(GtkWidget* box) {
  TitleBar bar;
  GdkWindow* window = gtk_widget_get_window(box);
  GdkRectangle frame{};
  gdk_window_get_frame_extents(window, &frame);
  int x = 0, y = 0;
  gdk_window_get_origin(window, &x, &y);
  if (y - frame.y < 8) return bar;
  GdkPixbuf* shot =
      gdk_pixbuf_get_from_window(gdk_get_default_root_window(), frame.x, frame.y + 2, frame.width, y - frame.y - 4);
  if (!shot) return bar;
  bar.width = gdk_pixbuf_get_width(shot);
  bar.height = gdk_pixbuf_get_height(shot);
  const guint8* data = gdk_pixbuf_get_pixels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
  for (int row = 0; row < bar.height; ++row) {
    for (int col = 0; col < bar.width; ++col) {
      const guint8* p = data + row * stride + col * channels;
      bar.pixels.push_back({p[0], p[1], p[2]});
    }
  }
  g_object_unref(shot);
  return bar;
}

// The columns of the widest run of ink in a title bar (the caption's text),
// ink being any pixel unlike the most common one of its row.
std::pair<int, int> WidestInk(const TitleBar& bar) {
  std::vector<bool> ink(bar.width, false);
  for (int y = 0; y < bar.height; ++y) {
    std::map<std::array<guint8, 3>, int> counts;
    for (int x = 0; x < bar.width; ++x) ++counts[bar.At(x, y)];
    const auto background =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    for (int x = 0; x < bar.width; ++x) ink[x] = ink[x] || bar.At(x, y) != background;
  }
  std::pair<int, int> widest{0, 0};
  for (int x = 0; x < bar.width;) {
    if (!ink[x]) {
      ++x;
      continue;
    }
    int end = x, gap = 0;
    for (int i = x; i < bar.width && gap <= 4; ++i) {
      if (ink[i])
        end = i + 1, gap = 0;
      else
        ++gap;
    }
    if (end - x > widest.second - widest.first) widest = {x, end};
    x = end;
  }
  return widest;
}

// Whether a bar shows the given columns of another bar, pixel for pixel, anywhere.
bool ShowsPart(const TitleBar& bar, const TitleBar& of, std::pair<int, int> columns) {
  if (bar.height != of.height) return false;
  const int width = columns.second - columns.first;
  for (int at = 0; at + width <= bar.width; ++at) {
    bool same = true;
    for (int y = 0; y < bar.height && same; ++y) {
      for (int x = 0; x < width && same; ++x) same = bar.At(at + x, y) == of.At(columns.first + x, y);
    }
    if (same) return true;
  }
  return false;
}

// The cleaning box's caption came out as "KQ…nt": its short text made a box
// narrower than its caption. The caption shows whole, as it does in a box
// made wide by a long text.
TEST(GtkWindowTest, AMessageBoxShowsItsWholeCaption) {
  struct Seen {
    TitleBar bar;
    TitleBar wide;  // the reference, from a wide box
    std::pair<int, int> caption{0, 0};
    bool shown = false;
    int polls = 0;
  };
  Recording owner(102);
  ASSERT_TRUE(owner.Create(nullptr));
  owner.MoveWindow(ui::Rect::FromXYWH(300, 200, 640, 400), true);
  ASSERT_TRUE(ShownAt(owner, ui::Rect::FromXYWH(300, 200, 640, 400)));
  const auto watch = [](Seen& seen) {
    g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
          auto* s = static_cast<Seen*>(data);
          GtkMessageDialog* box = OpenMessageBox();
          if (!box || !gtk_widget_get_mapped(GTK_WIDGET(box)) || !gtk_window_is_active(GTK_WINDOW(box))) {
            return ++s->polls < 100 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
          }
          const TitleBar bar = ReadTitleBar(GTK_WIDGET(box));
          // The reference: wait for a caption of some width to be drawn.
          // The box under test: wait for it to show that caption, or give up.
          const bool done = s->wide.width == 0 ? WidestInk(bar).second - WidestInk(bar).first > 20
                                               : ShowsPart(bar, s->wide, s->caption);
          if (!done && ++s->polls < 50) return G_SOURCE_CONTINUE;
          s->bar = bar;
          s->shown = done;
          gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
          return G_SOURCE_REMOVE;
        },
        &seen);
  };
  const std::string caption = "KQVClient";
  Seen seen;
  watch(seen);
  owner.MessageBox(std::string(40, 'x') + "缓存清理完毕" + std::string(40, 'x'), caption, ui::kMbOk);
  ASSERT_TRUE(seen.shown) << "the wide box's caption was never drawn";
  seen.wide = seen.bar;
  seen.caption = WidestInk(seen.wide);
  seen.polls = 0;
  seen.shown = false;
  watch(seen);
  owner.MessageBox("缓存清理完毕", caption, ui::kMbOk);
  EXPECT_TRUE(seen.shown) << "the caption is shortened in a " << seen.bar.width << "-pixel title bar";
  owner.DestroyWindow();
}

// The box goes with its owner: the wait ends, and nothing is freed twice.
TEST(GtkWindowTest, MessageBoxEndsWhenItsOwnerIsDestroyed) {
  Recording owner(102);
  ASSERT_TRUE(owner.Create(nullptr));
  g_timeout_add(
      300,
      [](gpointer data) -> gboolean {
        if (!OpenMessageBox()) return G_SOURCE_CONTINUE;
        static_cast<Recording*>(data)->DestroyWindow();
        return G_SOURCE_REMOVE;
      },
      &owner);
  EXPECT_EQ(owner.MessageBox("确定清理浏览器缓存？", "清理提示", ui::kMbYesNo), ui::kIdNo);
  EXPECT_FALSE(owner.IsWindow());
  EXPECT_EQ(OpenMessageBox(), nullptr);
}

}  // namespace
}  // namespace kqvtest
