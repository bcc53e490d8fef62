// The Win32 window peer on real windows, under Wine on a private X display.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WineTestSupport.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeer.h"
#include "ui/Platform.h"
#include "ui/Window.h"

using ui::Hit;
using ui::Message;
using ui::win32::Win32WindowPeer;

using wine_tests::Handle;
using wine_tests::Pump;

namespace {

constexpr int kPopupVisible = 901;  // borderless, shown at creation
constexpr int kControls = 902;      // hidden, buttons 1 and 5, edit 10, browser 1001
constexpr int kFramed = 903;        // caption and sizing border, hidden

std::string Str(const std::string& name, int a) { return name + " " + std::to_string(a); }
std::string Str(const std::string& name, int a, int b) { return Str(name, a) + " " + std::to_string(b); }

// A dialog that records the handlers the backend calls, and can be told how
// to answer some of them.
class Probe : public ui::Dialog {
 public:
  explicit Probe(int templateId) : ui::Dialog(templateId) {}

  std::vector<std::string> log;
  std::function<void(Probe&)> onInit;
  std::function<bool(Probe&, const Message&)> filter;  // key filter; null: let through
  std::function<ui::Hit(Hit)> hitAnswer;               // from the default hit
  std::function<std::intptr_t(ui::NcCalcSizeParams&)> calcSize;
  std::function<void(ui::Canvas&)> paint;
  ui::WindowPeer::NonClientPainter frame;  // the non-client area, painted instead of the default
  bool visibleAtInit = true;
  bool existedAtCreate = false;

  bool Has(const std::string& entry) const {
    for (const auto& line : log) {
      if (line == entry) return true;
    }
    return false;
  }

  bool OnNcCreate() override {
    log.push_back("nccreate");
    return Dialog::OnNcCreate();
  }
  int OnCreate() override {
    log.push_back("create");
    existedAtCreate = Peer().Exists();
    return Dialog::OnCreate();
  }
  bool OnInitDialog() override {
    log.push_back("initdialog");
    visibleAtInit = IsWindowVisible();
    if (onInit) onInit(*this);
    return true;
  }
  void OnMove(int x, int y) override {
    log.push_back(Str("move", x, y));
    Default();
  }
  void OnSize(ui::SizeType type, int cx, int cy) override {
    log.push_back(Str("size", static_cast<int>(type)) + " " + std::to_string(cx) + " " + std::to_string(cy));
    Default();
  }
  Hit OnNcHitTest(ui::Point screen) override {
    const auto hit = static_cast<Hit>(Default());
    (void)screen;
    return hitAnswer ? hitAnswer(hit) : hit;
  }
  std::intptr_t OnNcCalcSize(ui::NcCalcSizeParams& params) override {
    return calcSize ? calcSize(params) : Dialog::OnNcCalcSize(params);
  }
  void OnNcMouseMove(Hit hit, ui::Point screen) override {
    log.push_back(Str("ncmousemove", static_cast<int>(hit)) + " " + std::to_string(screen.x) + " " +
                  std::to_string(screen.y));
    Default();
  }
  void OnNcMouseLeave() override {
    log.push_back("ncmouseleave");
    Default();
  }
  void OnSysCommand(ui::SysCommand command) override {
    log.push_back(Str("syscommand", static_cast<int>(command)));
    Default();
  }
  void OnGetMinMaxInfo(ui::MinMaxInfo& info) override {
    info.minTrackHeight = 42;
    Default();
  }
  bool OnCommand(int id) override {
    log.push_back(Str("command", id));
    return Dialog::OnCommand(id);
  }
  void OnClose() override {
    log.push_back("close");
    Default();
  }
  void OnNcPaint() override {
    if (frame) {
      Peer().PaintNonClient(frame);
    } else {
      Default();
    }
  }
  bool OnNcActivate(bool active) override {
    if (!frame) return Dialog::OnNcActivate(active);
    Peer().PaintNonClient(frame);
    return true;
  }
  void OnPaint(ui::Canvas& canvas) override {
    if (paint) {
      paint(canvas);
    } else {
      Default();
    }
  }
  bool PreTranslateMessage(const Message& message) override {
    if (message.kind != Message::Kind::KeyDown) return false;
    log.push_back(Str("key", static_cast<int>(message.key)));
    return filter && filter(*this, message);
  }
};

// ---------------------------------------------------------------------------
// Creation

TEST(Create, RunsTheCreationHandlersInOrderAndShowsPerTemplate) {
  const struct {
    int templateId;
    bool visible;
  } cases[] = {{kPopupVisible, true}, {kControls, false}, {kFramed, false}};
  for (const auto& c : cases) {
    Probe probe(c.templateId);
    ASSERT_TRUE(probe.Create(nullptr)) << c.templateId;
    ASSERT_GE(probe.log.size(), 3u);
    // Size and move notifications may come in between; the order of the
    // three creation steps is fixed.
    std::vector<std::string> steps;
    for (const auto& line : probe.log) {
      if (line == "nccreate" || line == "create" || line == "initdialog") steps.push_back(line);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"nccreate", "create", "initdialog"})) << c.templateId;
    EXPECT_TRUE(probe.existedAtCreate);
    EXPECT_FALSE(probe.visibleAtInit) << "shown only after its initialisation";
    EXPECT_EQ(probe.IsWindowVisible(), c.visible) << c.templateId;
    EXPECT_TRUE(probe.IsWindow());
  }
}

TEST(Create, FailsForAMissingTemplate) {
  Probe probe(4242);
  EXPECT_FALSE(probe.Create(nullptr));
  EXPECT_FALSE(probe.IsWindow());
  EXPECT_TRUE(probe.log.empty());
}

TEST(Create, OwnedPopupStaysWithItsOwner) {
  auto owner = std::make_unique<Probe>(kPopupVisible);
  Probe owned(kControls);
  ASSERT_TRUE(owner->Create(nullptr));
  ASSERT_TRUE(owned.Create(owner.get()));
  EXPECT_EQ(GetWindow(Handle(owned), GW_OWNER), Handle(*owner));
  EXPECT_EQ(GetWindowLongW(Handle(owned), GWL_STYLE) & WS_CHILD, 0) << "a popup, not a child";
  owner.reset();
  EXPECT_FALSE(owned.IsWindow()) << "goes away with its owner";
}

TEST(Destroy, AWindowObjectTakesItsWindowWithIt) {
  auto probe = std::make_unique<Probe>(kPopupVisible);
  ASSERT_TRUE(probe->Create(nullptr));
  HWND hwnd = Handle(*probe);
  SetActiveWindow(hwnd);
  probe.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Destroy, DestroyWindowEndsTheWindowButNotTheObject) {
  Probe probe(kPopupVisible);
  ASSERT_TRUE(probe.Create(nullptr));
  HWND hwnd = Handle(probe);
  probe.DestroyWindow();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(probe.IsWindow());
  // The object can make a new window.
  EXPECT_TRUE(probe.Create(nullptr));
  EXPECT_TRUE(probe.IsWindow());
}

// ---------------------------------------------------------------------------
// Handlers and their default processing

TEST(HitTest, DefaultIsThePlatformsAnswerAndTheHandlerDecides) {
  Probe framed(kFramed);
  ASSERT_TRUE(framed.Create(nullptr));
  framed.MoveWindow(ui::Rect::FromXYWH(100, 100, 400, 300));
  RECT client{};
  GetClientRect(Handle(framed), &client);
  POINT origin{0, 0};
  ClientToScreen(Handle(framed), &origin);
  const RECT window{100, 100, 500, 400};
  const struct {
    const char* where;
    POINT at;
    std::optional<Hit> answer;  // the handler's own answer, or the default
    Hit expected;
  } cases[] = {
      {"client", {origin.x + 50, origin.y + 50}, std::nullopt, Hit::Client},
      {"caption", {250, (window.top + origin.y) / 2}, std::nullopt, Hit::Caption},
      {"bottom-right corner", {window.right - 1, window.bottom - 1}, std::nullopt, Hit::BottomRight},
      {"client turned into caption", {origin.x + 50, origin.y + 50}, Hit::Caption, Hit::Caption},
  };
  for (const auto& c : cases) {
    std::optional<Hit> defaultHit;
    framed.hitAnswer = [&](Hit hit) {
      defaultHit = hit;
      return c.answer ? *c.answer : hit;
    };
    const LRESULT answer = SendMessageW(Handle(framed), WM_NCHITTEST, 0, MAKELPARAM(c.at.x, c.at.y));
    EXPECT_EQ(static_cast<Hit>(answer), c.expected) << c.where;
    ASSERT_TRUE(defaultHit) << c.where;
    if (!c.answer) {
      EXPECT_EQ(*defaultHit, c.expected) << c.where;
    }
  }
}

TEST(HitTest, BorderlessPopupIsClientInside) {
  Probe popup(kPopupVisible);
  ASSERT_TRUE(popup.Create(nullptr));
  popup.MoveWindow(ui::Rect::FromXYWH(10, 20, 200, 100));
  EXPECT_EQ(static_cast<Hit>(SendMessageW(Handle(popup), WM_NCHITTEST, 0, MAKELPARAM(110, 70))), Hit::Client);
}

TEST(Move, ReportsTheClientOriginOnScreenAndTheClientSize) {
  for (int templateId : {kPopupVisible, kFramed}) {
    Probe probe(templateId);
    ASSERT_TRUE(probe.Create(nullptr));
    probe.log.clear();
    probe.MoveWindow(ui::Rect::FromXYWH(130, 140, 420, 310));
    POINT origin{0, 0};
    ClientToScreen(Handle(probe), &origin);
    RECT client{};
    GetClientRect(Handle(probe), &client);
    EXPECT_TRUE(probe.Has(Str("move", origin.x, origin.y))) << templateId;
    EXPECT_TRUE(probe.Has("size 0 " + std::to_string(client.right) + " " + std::to_string(client.bottom)))
        << templateId;
    EXPECT_EQ(probe.GetWindowRect(), ui::Rect::FromXYWH(130, 140, 420, 310)) << templateId;
    EXPECT_EQ(probe.GetClientRect(), (ui::Rect{0, 0, client.right, client.bottom})) << templateId;
    if (templateId == kPopupVisible) {
      EXPECT_TRUE(probe.Has("move 130 140"));
    }
  }
}

TEST(NcCalcSize, HandlerDecidesTheClientAreaWithOrWithoutTheDefault) {
  const struct {
    const char* name;
    std::function<std::intptr_t(Probe&, ui::NcCalcSizeParams&)> handler;
    RECT inset;  // client area inside the window rectangle; -1: the platform's own frame
  } cases[] = {
      {"own frame without the default",
       [](Probe&, ui::NcCalcSizeParams& p) -> std::intptr_t {
         if (p.calcValidRects) {
           auto& r = p.rects[0];
           r.left += 3, r.top += 39, r.right -= 3, r.bottom -= 6;
         }
         return 0;
       },
       {3, 39, 3, 6}},
      {"default then two pixels more",
       [](Probe& self, ui::NcCalcSizeParams& p) -> std::intptr_t {
         const std::intptr_t result = self.Default();
         auto& r = p.rects[0];
         r.left += 2, r.top += 2, r.right -= 2, r.bottom -= 2;
         return result;
       },
       {-1, -1, -1, -1}},
  };
  // The platform's own frame, for the second case.
  Probe plain(kFramed);
  ASSERT_TRUE(plain.Create(nullptr));
  plain.MoveWindow(ui::Rect::FromXYWH(50, 60, 400, 300));
  POINT plainOrigin{0, 0};
  ClientToScreen(Handle(plain), &plainOrigin);
  const ui::Rect plainClient = plain.GetClientRect();
  ASSERT_GT(plainOrigin.y, 60) << "the platform's frame has a caption";
  ASSERT_LT(plainClient.Width(), 400) << "and borders";

  for (const auto& c : cases) {
    Probe probe(kFramed);
    probe.calcSize = [&](ui::NcCalcSizeParams& p) { return c.handler(probe, p); };
    ASSERT_TRUE(probe.Create(nullptr));
    probe.MoveWindow(ui::Rect::FromXYWH(50, 60, 400, 300));
    POINT origin{0, 0};
    ClientToScreen(Handle(probe), &origin);
    const ui::Rect client = probe.GetClientRect();
    if (c.inset.left >= 0) {
      EXPECT_EQ(origin.x, 50 + c.inset.left) << c.name;
      EXPECT_EQ(origin.y, 60 + c.inset.top) << c.name;
      EXPECT_EQ(client.Width(), 400 - c.inset.left - c.inset.right) << c.name;
      EXPECT_EQ(client.Height(), 300 - c.inset.top - c.inset.bottom) << c.name;
    } else {
      EXPECT_EQ(origin.x, plainOrigin.x + 2) << c.name;
      EXPECT_EQ(origin.y, plainOrigin.y + 2) << c.name;
      EXPECT_EQ(client.Width(), plainClient.Width() - 4) << c.name;
      EXPECT_EQ(client.Height(), plainClient.Height() - 4) << c.name;
    }
  }
}

TEST(MinMaxInfo, HandlersValueReachesThePlatform) {
  Probe probe(kFramed);
  ASSERT_TRUE(probe.Create(nullptr));
  MINMAXINFO info{};
  info.ptMinTrackSize = {100, 100};
  info.ptMaxTrackSize = {2000, 1500};
  SendMessageW(Handle(probe), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.y, 42);
  EXPECT_EQ(info.ptMinTrackSize.x, 100);
  EXPECT_EQ(info.ptMaxTrackSize.x, 2000);
}

TEST(NonClientMessages, ReachTheirHandlers) {
  Probe probe(kFramed);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.ShowWindow(ui::ShowCommand::ShowNormal);
  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string entry;
  } cases[] = {
      {WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(120, 70), "ncmousemove 2 120 70"},
      {WM_NCMOUSEMOVE, HTCLOSE, MAKELPARAM(-5, 7), "ncmousemove 20 -5 7"},
      {WM_NCMOUSELEAVE, 0, 0, "ncmouseleave"},
      {WM_SYSCOMMAND, SC_MINIMIZE, 0, "syscommand 61472"},
  };
  for (const auto& c : cases) {
    probe.log.clear();
    SendMessageW(Handle(probe), c.message, c.wParam, c.lParam);
    EXPECT_TRUE(probe.Has(c.entry)) << c.entry;
  }
  EXPECT_TRUE(probe.IsIconic()) << "the default processing of SC_MINIMIZE ran";
}

TEST(NonClientMessages, LeaveTrackingReportsTheNonClientLeave) {
  Probe probe(kFramed);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.MoveWindow(ui::Rect::FromXYWH(600, 400, 300, 200));
  probe.Peer().SetRoundShape({0, 0, 301, 201}, 5, 5);  // a self-painted frame: not decorated
  probe.ShowWindow(ui::ShowCommand::ShowNormal);
  RECT window{};
  GetWindowRect(Handle(probe), &window);
  POINT origin{0, 0};
  ClientToScreen(Handle(probe), &origin);
  SetCursorPos(750, (window.top + origin.y) / 2);  // on the caption
  Pump(200);
  probe.log.clear();
  probe.Peer().TrackMouseLeave();
  Pump(200);
  EXPECT_FALSE(probe.Has("ncmouseleave")) << "still over the frame";
  SetCursorPos(5, 5);
  Pump(1000);
  EXPECT_TRUE(probe.Has("ncmouseleave"));
}

// ---------------------------------------------------------------------------
// The modal loop, the dialog manager and the key filters

struct ModalCase {
  const char* name;
  std::function<void(Probe&)> act;  // inside the loop, from the initialisation
  int result;
  std::vector<std::string> mustLog;
  std::vector<std::string> mustNotLog;
};

HWND Edit(const Probe& probe) { return GetDlgItem(Handle(probe), 10); }

LPARAM KeyData(UINT key) { return 1 | static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16; }

void PostKey(HWND target, UINT key) { PostMessageW(target, WM_KEYDOWN, key, KeyData(key)); }

TEST(RunModal, EndsAsTheDialogManagerOrTheHandlersSay) {
  const ModalCase cases[] = {
      {"end dialog", [](Probe& p) { p.EndDialog(7); }, 7, {}, {}},
      {"command ok", [](Probe& p) { PostMessageW(Handle(p), WM_COMMAND, IDOK, 0); }, ui::kIdOk, {"command 1"}, {}},
      {"window close is cancel",
       [](Probe& p) { PostMessageW(Handle(p), WM_CLOSE, 0, 0); },
       ui::kIdCancel,
       {"close", "command 2"},
       {}},
      {"return is ok", [](Probe& p) { PostKey(Handle(p), VK_RETURN); }, ui::kIdOk, {"key 13", "command 1"}, {}},
      {"escape is cancel", [](Probe& p) { PostKey(Handle(p), VK_ESCAPE); }, ui::kIdCancel, {"key 27", "command 2"}, {}},
      {"filtered keys never reach the dialog manager",
       [](Probe& p) {
         p.filter = [](Probe&, const Message& m) { return m.key == VK_RETURN || m.key == VK_ESCAPE; };
         PostKey(Handle(p), VK_RETURN);
         PostKey(Handle(p), VK_ESCAPE);
         PostMessageW(Handle(p), WM_COMMAND, IDCANCEL, 0);
       },
       ui::kIdCancel,
       {"key 13", "key 27", "command 2"},
       {"command 1"}},
  };
  for (const auto& c : cases) {
    Probe probe(kPopupVisible);
    probe.onInit = c.act;
    EXPECT_EQ(probe.DoModal(), c.result) << c.name;
    EXPECT_FALSE(probe.IsWindow()) << c.name << ": destroyed at the end";
    for (const auto& entry : c.mustLog) EXPECT_TRUE(probe.Has(entry)) << c.name << ": " << entry;
    for (const auto& entry : c.mustNotLog) EXPECT_FALSE(probe.Has(entry)) << c.name << ": " << entry;
  }
}

TEST(RunModal, QuitEndsEveryLoopAndStaysPosted) {
  Probe outer(kPopupVisible);
  Probe inner(kControls);
  int innerResult = 0;
  bool ownerEnabledDuringInner = true;
  bool ownerEnabledAfterInner = false;
  inner.onInit = [&](Probe& self) {
    ownerEnabledDuringInner = IsWindowEnabled(Handle(outer));
    (void)self;
    ui::GetPlatform().PostQuit(3);
  };
  outer.onInit = [&](Probe& self) {
    innerResult = inner.DoModal(&self);
    ownerEnabledAfterInner = IsWindowEnabled(Handle(self));
  };
  EXPECT_EQ(outer.DoModal(), ui::kModalQuit);
  EXPECT_EQ(innerResult, ui::kModalQuit);
  EXPECT_FALSE(ownerEnabledDuringInner);
  EXPECT_TRUE(ownerEnabledAfterInner);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit request is left for the caller";
  EXPECT_EQ(msg.wParam, 3u);
}

TEST(RunModal, EndModalOfAModelessWindowHidesIt) {
  Probe probe(kPopupVisible);
  ASSERT_TRUE(probe.Create(nullptr));
  ASSERT_TRUE(probe.IsWindowVisible());
  probe.EndDialog(ui::kIdOk);
  EXPECT_FALSE(probe.IsWindowVisible());
  EXPECT_TRUE(probe.IsWindow());
}

TEST(KeyFilters, OfferedFromTheTargetUpTheOwnerChain) {
  const struct {
    const char* name;
    bool popupSwallows;
    bool dispatch;  // the popup's filter sends the key to the control itself
    bool ownerOffered;
  } cases[] = {
      {"nobody swallows", false, false, true},
      {"popup swallows", true, false, false},
      {"popup dispatches to the control", true, true, false},
  };
  for (const auto& c : cases) {
    Probe owner(kPopupVisible);
    Probe popup(kControls);
    popup.filter = [&](Probe& self, const Message& m) {
      if (c.dispatch) {
        EXPECT_TRUE(self.Peer().DispatchToTarget(m));
      }
      return c.popupSwallows;
    };
    owner.onInit = [&](Probe& self) {
      ASSERT_TRUE(popup.Create(&self));
      popup.ShowWindow(ui::ShowCommand::Show);
      PostKey(Edit(popup), 'A');
      PostMessageW(Handle(self), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(owner.DoModal(), ui::kIdCancel) << c.name;
    EXPECT_TRUE(popup.Has("key 65")) << c.name;
    EXPECT_EQ(owner.Has("key 65"), c.ownerOffered) << c.name;
  }
}

TEST(KeyFilters, DispatchedKeyReachesTheControlsText) {
  const struct {
    const char* name;
    bool dispatch;
    const wchar_t* text;
  } cases[] = {{"dispatched", true, L"a"}, {"swallowed", false, L""}};
  for (const auto& c : cases) {
    Probe probe(kControls);
    probe.filter = [&](Probe& self, const Message& m) {
      if (c.dispatch) self.Peer().DispatchToTarget(m);
      return true;
    };
    ASSERT_TRUE(probe.Create(nullptr));
    PostKey(Edit(probe), 'A');
    Pump(300);
    wchar_t text[32] = {};
    GetWindowTextW(Edit(probe), text, 32);
    EXPECT_EQ(std::wstring(text), c.text) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Looks: layered picture, colour key, shape, icon, title, painting

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// On Windows an owned window stays above its owner. Shown while its owner is
// still hidden (as the launcher's overlay is), it is mapped first, and the
// window manager would stack the owner, mapped later, on top of it. Seen on
// the screen: the owned window's green over the owner's red, once the owner
// shows and again after the owner is activated.
TEST(Stacking, OwnedWindowShownBeforeItsOwnerStaysAboveIt) {
  Probe owner(kFramed);
  owner.paint = [](ui::Canvas& canvas) { canvas.FillRect({0, 0, 2000, 2000}, {255, 0, 0, 255}); };
  ASSERT_TRUE(owner.Create(nullptr));
  owner.MoveWindow(ui::Rect::FromXYWH(500, 300, 300, 200));
  Probe owned(kPopupVisible);
  owned.paint = [](ui::Canvas& canvas) { canvas.FillRect({0, 0, 2000, 2000}, {0, 255, 0, 255}); };
  ASSERT_TRUE(owned.Create(&owner));
  owned.MoveWindow(ui::Rect::FromXYWH(560, 360, 120, 80));
  Pump(300);
  ASSERT_FALSE(owner.IsWindowVisible());
  ASSERT_TRUE(owned.IsWindowVisible());
  owned.log.clear();

  owner.ShowWindow(ui::ShowCommand::Show);
  Pump(600);
  EXPECT_TRUE(owned.IsWindowVisible());
  EXPECT_EQ(owned.GetWindowRect(), ui::Rect::FromXYWH(560, 360, 120, 80));
  EXPECT_EQ(ScreenPixel(600, 400), RGB(0, 255, 0)) << "the owned window is above its owner";
  EXPECT_EQ(ScreenPixel(520, 460), RGB(255, 0, 0)) << "the owner shows around it";
  EXPECT_TRUE(owned.log.empty()) << "no handler of the owned window ran: " << owned.log.front();

  SetForegroundWindow(Handle(owner));
  Pump(600);
  EXPECT_EQ(ScreenPixel(600, 400), RGB(0, 255, 0)) << "still above once the owner is active";
}

TEST(UpdateLayered, WindowTakesThePicturesSizeAndPixels) {
  Probe probe(kPopupVisible);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.Peer().AddLayeredStyle();
  // Opaque red on the top half, opaque blue below, premultiplied BGRA.
  ui::PixelImage image;
  image.width = 64;
  image.height = 48;
  image.bitsPerPixel = 32;
  image.pitch = 64 * 4;
  image.pixels.resize(static_cast<size_t>(image.pitch) * 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      std::uint8_t* p = &image.pixels[static_cast<size_t>(y * image.pitch + x * 4)];
      p[0] = y < 24 ? 0 : 255, p[1] = 0, p[2] = y < 24 ? 255 : 0, p[3] = 255;
    }
  }
  probe.Peer().UpdateLayered(image);
  probe.MoveWindow(ui::Rect::FromXYWH(300, 200, 64, 48));
  Pump(300);
  EXPECT_NE(GetWindowLongW(Handle(probe), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_EQ(probe.GetWindowRect(), ui::Rect::FromXYWH(300, 200, 64, 48));
  EXPECT_EQ(ScreenPixel(310, 205), RGB(255, 0, 0)) << "top rows on top";
  EXPECT_EQ(ScreenPixel(310, 240), RGB(0, 0, 255));
}

TEST(ColorKey, WindowAndItsBackgroundTakeTheKey) {
  Probe probe(kControls);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.Peer().AddLayeredStyle();
  probe.Peer().SetColorKey({255, 0, 255, 255});
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(Handle(probe), &key, &alpha, &flags));
  EXPECT_EQ(key, RGB(255, 0, 255));
  EXPECT_NE(flags & LWA_COLORKEY, 0u);
  HDC dc = GetDC(Handle(probe));
  for (UINT message : {WM_CTLCOLORDLG, WM_CTLCOLORBTN, WM_CTLCOLORSTATIC}) {
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(Handle(probe), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Handle(probe))));
    LOGBRUSH description{};
    ASSERT_TRUE(brush && GetObjectW(brush, sizeof description, &description)) << message;
    EXPECT_EQ(description.lbColor, RGB(255, 0, 255)) << message;
  }
  ReleaseDC(Handle(probe), dc);
}

TEST(RoundShape, CutsTheCorners) {
  Probe probe(kPopupVisible);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.MoveWindow(ui::Rect::FromXYWH(40, 40, 200, 100));
  probe.Peer().SetRoundShape({0, 0, 201, 101}, 40, 40);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Handle(probe), region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_FALSE(PtInRegion(region, 199, 99));
  EXPECT_TRUE(PtInRegion(region, 20, 20));
  EXPECT_TRUE(PtInRegion(region, 100, 0));
  DeleteObject(region);
}

TEST(Icon, BigAndSmallFromTheIconResource) {
  Probe probe(kPopupVisible);
  ASSERT_TRUE(probe.Create(nullptr));
  EXPECT_EQ(probe.Peer().Icon(true), 0);
  const struct {
    bool big;
    WPARAM which;
    int size;
  } cases[] = {{true, ICON_BIG, GetSystemMetrics(SM_CXICON)}, {false, ICON_SMALL, GetSystemMetrics(SM_CXSMICON)}};
  for (const auto& c : cases) {
    probe.SetIcon(7, c.big);
    EXPECT_EQ(probe.Peer().Icon(c.big), 7);
    auto icon = reinterpret_cast<HICON>(SendMessageW(Handle(probe), WM_GETICON, c.which, 0));
    ASSERT_TRUE(icon) << c.big;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, c.size) << c.big;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

TEST(Title, Utf8RoundTripThroughTheWideWindowText) {
  Probe probe(kFramed);
  ASSERT_TRUE(probe.Create(nullptr));
  for (const std::string text : {"", "Qelunar", "正在游戏中《Qelunar》"}) {
    probe.SetWindowText(text);
    EXPECT_EQ(probe.GetWindowText(), text);
    wchar_t wide[64] = {};
    GetWindowTextW(Handle(probe), wide, 64);
    EXPECT_EQ(std::wstring(wide), ui::win32::Widen(text));
  }
}

TEST(Paint, HandlerDrawsTheClientAreaOrLeavesItToTheDefault) {
  const struct {
    const char* name;
    bool draw;
  } cases[] = {{"drawn", true}, {"default", false}};
  for (const auto& c : cases) {
    Probe probe(kPopupVisible);
    if (c.draw) probe.paint = [](ui::Canvas& canvas) { canvas.FillRect({0, 0, 400, 300}, {0, 128, 0, 255}); };
    ASSERT_TRUE(probe.Create(nullptr));
    probe.MoveWindow(ui::Rect::FromXYWH(500, 300, 200, 150));
    RedrawWindow(Handle(probe), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump(200);
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(Handle(probe), &update, FALSE)) << c.name << ": nothing left to paint";
    EXPECT_EQ(ScreenPixel(600, 375) == RGB(0, 128, 0), c.draw) << c.name;
  }
}

TEST(PaintNonClient, DrawsTheFrameAndNeverTheClientArea) {
  Probe probe(kFramed);
  probe.paint = [](ui::Canvas& canvas) { canvas.FillRect({0, 0, 2000, 2000}, {0, 0, 255, 255}); };
  probe.frame = [](ui::Canvas& canvas, const ui::Rect&) { canvas.FillRect({0, 0, 300, 200}, {0, 200, 0, 255}); };
  ASSERT_TRUE(probe.Create(nullptr));
  probe.MoveWindow(ui::Rect::FromXYWH(200, 150, 300, 200));
  // Shaped, as the self-painted frames are: the window manager then leaves
  // the frame to the window instead of decorating it.
  probe.Peer().SetRoundShape({0, 0, 301, 201}, 5, 5);
  probe.ShowWindow(ui::ShowCommand::ShowNormal);
  RedrawWindow(Handle(probe), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Pump(300);
  POINT origin{0, 0};
  ClientToScreen(Handle(probe), &origin);
  ASSERT_GT(origin.y, 160) << "the window has a caption band";
  EXPECT_EQ(ScreenPixel(210, 155), RGB(0, 200, 0)) << "caption band";
  EXPECT_EQ(ScreenPixel(origin.x + 10, origin.y + 10), RGB(0, 0, 255)) << "client area untouched";
}

// ---------------------------------------------------------------------------
// Message boxes

// Answers the next message box with the given caption, from another thread,
// and reports its text and buttons.
struct BoxReport {
  std::wstring text;
  bool hasYes = false, hasNo = false, hasOk = false;
};

std::thread AnswerBox(const std::wstring& caption, int button, BoxReport& report) {
  return std::thread([caption, button, &report] {
    for (int i = 0; i < 200; ++i) {
      HWND box = FindWindowW(L"#32770", caption.c_str());
      if (box && IsWindowVisible(box)) {
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        report.text = text;
        report.hasYes = GetDlgItem(box, IDYES) != nullptr;
        report.hasNo = GetDlgItem(box, IDNO) != nullptr;
        report.hasOk = GetDlgItem(box, IDOK) != nullptr;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return;
      }
      Sleep(50);
    }
  });
}

TEST(MessageBox, Utf16TextsButtonsAndAnswers) {
  Probe owner(kPopupVisible);
  ASSERT_TRUE(owner.Create(nullptr));
  const struct {
    unsigned style;
    int press;
    int answer;
    bool yesNo;
  } cases[] = {
      {ui::kMbYesNo, IDYES, ui::kIdYes, true},
      {ui::kMbYesNo, IDNO, ui::kIdNo, true},
      {ui::kMbOk, IDOK, ui::kIdOk, false},
  };
  for (const auto& c : cases) {
    BoxReport report;
    std::thread answer = AnswerBox(L"关闭提示", c.press, report);
    const int result = owner.MessageBox("正在游戏中，确定退出《Qelunar》？", "关闭提示", c.style);
    answer.join();
    EXPECT_EQ(result, c.answer);
    EXPECT_EQ(report.text, L"正在游戏中，确定退出《Qelunar》？");
    EXPECT_EQ(report.hasYes, c.yesNo);
    EXPECT_EQ(report.hasNo, c.yesNo);
    EXPECT_EQ(report.hasOk, !c.yesNo);
  }
}

// ---------------------------------------------------------------------------
// Controls: picture buttons, placement

std::vector<std::uint32_t> Pixels(HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(static_cast<size_t>(width * height));
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

TEST(PictureButton, DrawsTheNormalOrThePressedBitmapAndClicksAsACommand) {
  Probe probe(kControls);
  ASSERT_TRUE(probe.Create(nullptr));
  probe.Peer().AttachPictureButton(5, 135, 151);
  HWND button = GetDlgItem(Handle(probe), 5);
  ASSERT_TRUE(button);
  EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
  RECT rect{};
  GetWindowRect(button, &rect);
  EXPECT_EQ(rect.right - rect.left, 23);
  EXPECT_EQ(rect.bottom - rect.top, 23);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP reference[2] = {LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(135)),
                          LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(151))};
  const auto normal = Pixels(screen, reference[0], 23, 23);
  const auto pressed = Pixels(screen, reference[1], 23, 23);
  ASSERT_NE(normal, pressed);
  for (bool selected : {false, true}) {
    HBITMAP target = CreateCompatibleBitmap(screen, 23, 23);
    HGDIOBJ previous = SelectObject(memory, target);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 5;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = selected ? ODS_SELECTED : 0;
    item.hwndItem = button;
    item.hDC = memory;
    item.rcItem = {0, 0, 23, 23};
    EXPECT_TRUE(SendMessageW(Handle(probe), WM_DRAWITEM, 5, reinterpret_cast<LPARAM>(&item)));
    SelectObject(memory, previous);
    EXPECT_EQ(Pixels(screen, target, 23, 23), selected ? pressed : normal) << selected;
    DeleteObject(target);
  }
  DeleteObject(reference[0]);
  DeleteObject(reference[1]);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_TRUE(probe.Has("command 5"));
}

TEST(Controls, FoundAndPlacedByIdInClientCoordinates) {
  Probe probe(kControls);
  ASSERT_TRUE(probe.Create(nullptr));
  EXPECT_TRUE(probe.Peer().HasControl(5));
  EXPECT_TRUE(probe.Peer().HasControl(10));
  EXPECT_FALSE(probe.Peer().HasControl(77));
  EXPECT_FALSE(probe.Peer().HasControl(1001)) << "the browser is made by the window, not the template";
  probe.MoveWindow(ui::Rect::FromXYWH(100, 100, 500, 400));
  probe.Peer().MoveControl(5, ui::Rect::FromXYWH(7, 8, 30, 40), true);
  RECT rect{};
  GetWindowRect(GetDlgItem(Handle(probe), 5), &rect);
  MapWindowPoints(nullptr, Handle(probe), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 7);
  EXPECT_EQ(rect.top, 8);
  EXPECT_EQ(rect.right, 37);
  EXPECT_EQ(rect.bottom, 48);
}

}  // namespace
