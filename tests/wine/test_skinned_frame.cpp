// The skinned frame on the Win32 backend, under Wine on a private X display:
// what reaches the screen, the hit test, and pointer input that goes through
// the system's input queue (SetCursorPos and mouse_event).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScreenPixels.h"
#include "WineTestSupport.h"
#include "platform/win32/Gdiplus.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeer.h"
#include "support/FrameTestWindow.h"
#include "ui/Platform.h"

using kqvtest::FrameTestWindow;
using ui::Hit;
using ui::win32::Win32WindowPeer;
using wine_tests::FromBitmap;
using wine_tests::Grab;
using wine_tests::Handle;
using wine_tests::Pixels;
using wine_tests::Pump;

namespace {

constexpr int kBackdropTemplate = 901;  // borderless popup of the window tests
constexpr COLORREF kBackdrop = RGB(255, 0, 255);
constexpr char kTitle[] = "游戏窗口";
// Where the game window is put: the caption buttons then sit at fixed places.
constexpr RECT kGamePlace{100, 80, 860, 500};  // 760 x 420

// Pointer input through the system's queue, as a user's would arrive.
void PointerTo(int x, int y) {
  SetCursorPos(x, y);
  Pump(120);
}
void Press() {
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  Pump(120);
}
void Release() {
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  Pump(150);
}
void ClickAt(int x, int y) {
  PointerTo(x, y);
  Press();
  Release();
}

int Channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
bool Near(COLORREF a, COLORREF b, int tolerance = 6) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
  }
  return true;
}
std::string Hex(COLORREF c) {
  char text[16];
  snprintf(text, sizeof text, "%02x%02x%02x", Channel(c, 0), Channel(c, 8), Channel(c, 16));
  return text;
}

// 32-bit top-down pixels as COLORREF values.
// A bitmap resource: the caption button strips.
Pixels Strip(int id) {
  HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
  BITMAP size{};
  GetObjectW(bitmap, sizeof size, &size);
  HDC screen = GetDC(nullptr);
  Pixels pixels = FromBitmap(screen, bitmap, size.bmWidth, size.bmHeight);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return pixels;
}

// The colour the frame's artwork gives a window point outside the client
// area, from the picture's layout: caption with its left cap, stretched fill
// column and right cap, the border bands, and the body below the client.
COLORREF FramePixel(const Pixels& art, const FrameVariant& v, int W, int H, int x, int y) {
  const int b = v.borderWidth, c = v.captionHeight, iw = art.width, ih = art.height;
  if (y < c) {
    if (x >= W - v.rightCapWidth) return art.Get(iw - (W - x), y);
    return art.Get(x < v.fillColumn ? x : v.fillColumn, y);
  }
  if (y >= H - b) return art.Get(c, ih - (H - y));
  if (x < b) return art.Get(x, c);
  if (x >= W - b) return art.Get(iw - (W - x), c);
  return art.Get(b + 5, c);
}

// The first and last row or column that a stretched sample covers blend
// with what lies beyond the sample, as the platform's interpolation has it;
// the checks leave them out.
bool StretchedEdge(const FrameVariant& v, int W, int H, int x, int y) {
  const int b = v.borderWidth, c = v.captionHeight;
  if (y < c) return false;
  if (y >= H - b) return x == 0 || x == W - 1;
  if (x < b || x >= W - b) return y == c || y == H - b - 1;
  return x == b || x == W - b - 1 || y == c || y == H - b - 1;
}

// A window that records what the frame's messages do on the real backend.
class Frame : public FrameTestWindow {
 public:
  explicit Frame(bool chat) : FrameTestWindow(chat, kTitle) {}

  std::vector<unsigned> filtered;  // messages the filter was offered that matter here
  std::vector<unsigned> sysCommands;
  int widthAtNcCreate = -1;
  std::vector<bool> iconicAfterRelease;  // one per release over a button

  bool FilterMessage(unsigned message, std::intptr_t& result) override {
    if (message == ui::kMsgStyledCaptionPaint || message == ui::kMsgStyledFramePaint ||
        message == ui::kMsgUninitMenuPopup) {
      filtered.push_back(message);
    }
    return FrameTestWindow::FilterMessage(message, result);
  }
  bool OnNcCreate() override {
    widthAtNcCreate = GetWindowRect().Width();
    return FrameTestWindow::OnNcCreate();
  }
  void OnSysCommand(ui::SysCommand command) override {
    sysCommands.push_back(static_cast<unsigned>(command) & 0xFFF0);
    FrameTestWindow::OnSysCommand(command);
  }
  void OnNcLButtonUp(Hit hit, ui::Point screen) override {
    const bool onButton = hit == Hit::MinButton || hit == Hit::MaxButton || hit == Hit::Close;
    FrameTestWindow::OnNcLButtonUp(hit, screen);
    // A system command sent by the release has run by now.
    if (onButton) iconicAfterRelease.push_back(IsIconic());
  }
  bool Has(const std::vector<unsigned>& list, unsigned value) const {
    for (unsigned v : list) {
      if (v == value) return true;
    }
    return false;
  }
};

// A plain window behind the frame, so that the cut corners show its colour.
class Backdrop : public ui::Dialog {
 public:
  Backdrop() : ui::Dialog(kBackdropTemplate) {}
  void OnPaint(ui::Canvas& canvas) override { canvas.FillRect({0, 0, 4000, 4000}, {255, 0, 255, 255}); }
};

class SkinnedFrameTest : public ::testing::Test {
 protected:
  void Open(bool chat, const RECT& place) {
    backdrop = std::make_unique<Backdrop>();
    ASSERT_TRUE(backdrop->Create(nullptr));
    const ui::Size screen = ui::GetPlatform().ScreenSize();
    backdrop->MoveWindow({0, 0, screen.cx, screen.cy});
    frame = std::make_unique<Frame>(chat);
    ASSERT_TRUE(frame->Create(nullptr));
    createdWidth = frame->GetWindowRect().Width();
    frame->MoveWindow({place.left, place.top, place.right, place.bottom});
    frame->ShowWindow(ui::ShowCommand::ShowNormal);
    SetForegroundWindow(Handle(*frame));
    Pump(400);
  }
  void TearDown() override {
    frame.reset();
    backdrop.reset();
    Pump(100);
  }

  const FrameVariant& Variant() const { return frame->Variant(); }

  // Every point of the non-client area on the screen against the artwork,
  // except where the icon, the title and the text buttons are drawn; the
  // drawn system buttons against their strips' cells; the cut corners show
  // what is behind the window. Returns a description of the mismatches.
  std::string FrameMismatches(const std::map<int, int>& cells = {}) {
    RECT window{};
    GetWindowRect(Handle(*frame), &window);
    const int W = window.right - window.left, H = window.bottom - window.top;
    POINT origin{0, 0};
    ClientToScreen(Handle(*frame), &origin);
    RECT client{};
    GetClientRect(Handle(*frame), &client);
    OffsetRect(&client, origin.x - window.left, origin.y - window.top);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    const bool shaped = GetWindowRgn(Handle(*frame), shape) != ERROR;
    const Pixels screen = Grab(window);
    const Pixels art = wine_tests::PngPixels(Variant().backgroundPng);
    if (art.width == 0) return "no artwork";
    const FrameVariant& v = Variant();
    const ui::Point title = v.titleOrigin;
    const ui::Size icon = ui::GetPlatform().SmallIconSize();
    std::vector<RECT> skip{{v.iconOrigin.x, v.iconOrigin.y, v.iconOrigin.x + icon.cx, v.iconOrigin.y + icon.cy},
                           {title.x - 2, title.y - 2, title.x + 90, title.y + 18}};
    struct Drawn {
      RECT rect;
      Pixels strip;
      int cell;
    };
    std::vector<Drawn> buttons;
    for (const CaptionButtonEntry& entry : v.buttons) {
      const CDUIButton& button = frame->Button(entry.id);
      if (!button.m_bVisible) continue;
      const RECT r{button.m_rect.left, button.m_rect.top, button.m_rect.right, button.m_rect.bottom};
      skip.push_back(r);
      if (entry.strip >= 0) {
        const auto found = cells.find(entry.id);
        const int cell = found == cells.end() ? 0 : found->second;
        buttons.push_back({r, Strip(v.captionButtonImages[static_cast<size_t>(entry.strip)]), cell});
      }
    }
    int mismatches = 0, checked = 0, corners = 0;
    std::ostringstream first;
    auto compare = [&](int x, int y, COLORREF expected, const char* what) {
      ++checked;
      const COLORREF seen = screen.Get(x, y);
      if (Near(seen, expected)) return;
      if (mismatches++ < 5) first << " " << what << "(" << x << "," << y << ") " << Hex(seen) << "/" << Hex(expected);
    };
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        POINT p{x, y};
        if (PtInRect(&client, p)) continue;
        if (shaped && !PtInRegion(shape, x, y)) {
          compare(x, y, kBackdrop, "corner");
          ++corners;
          continue;
        }
        bool skipped = StretchedEdge(v, W, H, x, y);
        for (const RECT& r : skip) skipped = skipped || PtInRect(&r, p);
        if (!skipped) compare(x, y, FramePixel(art, v, W, H, x, y), "frame");
      }
    }
    for (const Drawn& d : buttons) {
      const int cellWidth = d.strip.width / 3;
      for (int y = d.rect.top; y < d.rect.bottom; ++y) {
        for (int x = d.rect.left; x < d.rect.right; ++x) {
          compare(x, y, d.strip.Get(d.cell * cellWidth + x - d.rect.left, y - d.rect.top), "button");
        }
      }
    }
    DeleteObject(shape);
    if (checked < W * Variant().captionHeight / 2) return "too few points checked";
    if (!shaped || corners < 4) return "the corners are not cut";
    return mismatches ? std::to_string(mismatches) + " of " + std::to_string(checked) + " differ:" + first.str()
                      : std::string();
  }

  // Pixels of the icon's place that differ from the caption's artwork: the
  // icon is drawn.
  int IconPixels() {
    RECT window{};
    GetWindowRect(Handle(*frame), &window);
    const ui::Point at = Variant().iconOrigin;
    const ui::Size size = ui::GetPlatform().SmallIconSize();
    const Pixels shot =
        Grab({window.left + at.x, window.top + at.y, window.left + at.x + size.cx, window.top + at.y + size.cy});
    const Pixels art = wine_tests::PngPixels(Variant().backgroundPng);
    int drawn = 0;
    for (int y = 0; y < size.cy; ++y) {
      for (int x = 0; x < size.cx; ++x) drawn += !Near(shot.Get(x, y), art.Get(at.x + x, at.y + y));
    }
    return drawn;
  }

  // The title's white pixels: the title is drawn.
  int TitlePixels() {
    RECT window{};
    GetWindowRect(Handle(*frame), &window);
    const ui::Point at = Variant().titleOrigin;
    const Pixels shot = Grab({window.left + at.x, window.top + at.y, window.left + at.x + 80, window.top + at.y + 16});
    int white = 0;
    for (COLORREF c : shot.at) white += Near(c, RGB(255, 255, 255), 40);
    return white;
  }

  // Brings every button back to its normal look: the pointer onto the
  // button, then off it onto the bare caption.
  void Settle(int id) {
    const POINT on = ButtonCentre(id);
    PointerTo(on.x, on.y);
    const POINT off = Screen(300, 20);
    PointerTo(off.x, off.y);
  }

  // A window point on the screen.
  POINT Screen(int x, int y) {
    const ui::Rect window = frame->GetWindowRect();
    return {window.left + x, window.top + y};
  }
  POINT ButtonCentre(int id) {
    const ui::Rect r = frame->Button(id).m_rect;
    return Screen((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  Hit HitAt(int x, int y) {
    const POINT p = Screen(x, y);
    return static_cast<Hit>(SendMessageW(Handle(*frame), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)));
  }
  // What the platform's own hit test answers there.
  Hit DefaultHitAt(int x, int y) {
    const POINT p = Screen(x, y);
    return static_cast<Hit>(DefWindowProcW(Handle(*frame), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)));
  }

  std::unique_ptr<Backdrop> backdrop;
  std::unique_ptr<Frame> frame;
  int createdWidth = 0;
};

// ---------------------------------------------------------------------------
// The executable's manifest

// The common controls come from the side-by-side assembly of version 6, which
// only the manifest asks for (otherwise the system folder's copy is loaded).
// Wine reports version 5.81 for both copies, so the place is what tells.
TEST(Manifest, CommonControlsOfVersionSix) {
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_TRUE(comctl);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  const std::string file = ui::win32::Narrow(path);
  std::string lower;
  for (char ch : file) lower += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos) << file;
}

// The title and the labels ask for "宋体" at 12 pixels. The test prefixes map
// the face to the Song face the Linux build draws with, which has every
// character the frame shows; GDI+, which draws them, takes the same face.
TEST(Font, TheLabelFaceIsASongFaceWithTheLabelsCharacters) {
  LOGFONTW description{};
  description.lfHeight = -12;
  lstrcpynW(description.lfFaceName, ui::win32::Widen(CDUIButton::kLabelFace).c_str(), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&description);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  const std::wstring text = ui::win32::Widen("官网充值清理刷新VIP专员游戏窗口对话框");
  std::vector<WORD> glyphs(text.size());
  GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  for (size_t i = 0; i < text.size(); ++i) {
    EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for character " << i << " in " << ui::win32::Narrow(face);
  }
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 12);

  Gdiplus::Font drawn(dc, &description);
  ASSERT_EQ(drawn.GetLastStatus(), Gdiplus::Ok);
  Gdiplus::FontFamily family;
  drawn.GetFamily(&family);
  wchar_t name[LF_FACESIZE] = {};
  family.GetFamilyName(name);
  EXPECT_NE(ui::win32::Narrow(name).find("UMing"), std::string::npos) << ui::win32::Narrow(name);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(font);
}

// ---------------------------------------------------------------------------
// What reaches the screen

TEST_F(SkinnedFrameTest, OnlyTheFrameShowsThroughActivationTitleAndIconChanges) {
  Open(false, kGamePlace);
  EXPECT_EQ(frame->widthAtNcCreate, createdWidth) << "the window's rectangle is known at non-client creation";
  EXPECT_EQ(frame->GetWindowRect(), (ui::Rect{kGamePlace.left, kGamePlace.top, kGamePlace.right, kGamePlace.bottom}));
  POINT origin{0, 0};
  ClientToScreen(Handle(*frame), &origin);
  EXPECT_EQ(origin.x - kGamePlace.left, 3);
  EXPECT_EQ(origin.y - kGamePlace.top, 39);
  EXPECT_EQ(frame->GetClientRect(), (ui::Rect{0, 0, 760 - 6, 420 - 39 - 6}));
  EXPECT_EQ(FrameMismatches(), "") << "shown";
  EXPECT_GT(TitlePixels(), 20);
  EXPECT_GT(IconPixels(), 20);

  // Another window of the application takes the activation, and gives it back.
  Backdrop other;
  ASSERT_TRUE(other.Create(nullptr));
  other.MoveWindow(ui::Rect::FromXYWH(1500, 900, 200, 100));
  SetForegroundWindow(Handle(other));
  Pump(400);
  ASSERT_EQ(GetForegroundWindow(), Handle(other));
  EXPECT_EQ(FrameMismatches(), "") << "inactive";
  SetForegroundWindow(Handle(*frame));
  Pump(400);
  ASSERT_EQ(GetForegroundWindow(), Handle(*frame));
  EXPECT_EQ(FrameMismatches(), "") << "active again";

  // Title and icon changes: their default processing would draw a caption.
  frame->SetWindowText("正在游戏中");
  Pump(200);
  EXPECT_EQ(FrameMismatches(), "") << "after a title change";
  frame->SetIcon(FrameTestWindow::kIconId, false);
  Pump(200);
  EXPECT_EQ(FrameMismatches(), "") << "after an icon change";
}

TEST_F(SkinnedFrameTest, VisualStylesRequestsAndMenuClosingRepaintTheFrame) {
  Open(false, kGamePlace);
  const struct {
    UINT message;
    bool answered;  // by the filter, with 0
  } cases[] = {{ui::kMsgStyledCaptionPaint, true}, {ui::kMsgStyledFramePaint, true}, {WM_UNINITMENUPOPUP, false}};
  for (const auto& c : cases) {
    // Something else drawn over the caption first.
    HDC dc = GetWindowDC(Handle(*frame));
    RECT band{0, 0, 760, 39};
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(dc, &band, green);
    DeleteObject(green);
    ReleaseDC(Handle(*frame), dc);
    Pump(100);
    ASSERT_NE(FrameMismatches(), "") << c.message;
    frame->filtered.clear();
    const LRESULT answer = SendMessageW(Handle(*frame), c.message, 0, 0);
    Pump(100);
    EXPECT_EQ(frame->filtered, (std::vector<unsigned>{c.message}));
    if (c.answered) {
      EXPECT_EQ(answer, 0) << c.message;
    }
    EXPECT_EQ(FrameMismatches(), "") << "repainted for " << c.message;
  }
}

TEST_F(SkinnedFrameTest, ChatWindowFrame) {
  Open(true, RECT{300, 200, 620, 440});
  EXPECT_EQ(FrameMismatches(), "");
  POINT origin{0, 0};
  ClientToScreen(Handle(*frame), &origin);
  EXPECT_EQ(origin.y - 200, 26);
  EXPECT_EQ(frame->GetClientRect(), (ui::Rect{0, 0, 320 - 6, 240 - 26 - 3}));
  EXPECT_EQ(HitAt(310 - 15, 13), Hit::Close);
  EXPECT_EQ(HitAt(8, 8), Hit::SysMenu);
  ClickAt(ButtonCentre(20).x, ButtonCentre(20).y);
  EXPECT_TRUE(frame->Has(frame->sysCommands, SC_CLOSE));
  EXPECT_FALSE(frame->IsWindowVisible()) << "closed (the dialog's cancel hides a modeless window)";
}

// The size requests through the real window procedure: the client inset in
// both forms of the calculation, and the shortest window.
TEST_F(SkinnedFrameTest, SizeRequestsReachTheFrame) {
  Open(false, kGamePlace);
  HWND hwnd = Handle(*frame);
  RECT plain{10, 20, 410, 320};
  EXPECT_EQ(SendMessageW(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&plain)), 0);
  EXPECT_TRUE(EqualRect(&plain, std::data({RECT{10, 20, 410, 320}}))) << "the client is the whole rectangle";

  NCCALCSIZE_PARAMS params{};
  WINDOWPOS position{};
  params.lppos = &position;
  params.rgrc[0] = {10, 20, 410, 320};
  params.rgrc[1] = params.rgrc[2] = params.rgrc[0];
  EXPECT_EQ(SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params)), 0);
  EXPECT_TRUE(EqualRect(&params.rgrc[0], std::data({RECT{13, 59, 407, 314}})));
  EXPECT_TRUE(EqualRect(&params.rgrc[1], std::data({RECT{10, 20, 410, 320}}))) << "the other rectangles stay";

  // A rectangle with nothing above 0 is the platform's.
  NCCALCSIZE_PARAMS nowhere = params;
  nowhere.rgrc[0] = {-300, -200, 0, 0};
  NCCALCSIZE_PARAMS platform = nowhere;
  SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&nowhere));
  DefWindowProcW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&platform));
  EXPECT_TRUE(EqualRect(&nowhere.rgrc[0], &platform.rgrc[0]));
  EXPECT_FALSE(EqualRect(&platform.rgrc[0], std::data({RECT{-300, -200, 0, 0}}))) << "the platform insets it";

  MINMAXINFO info{};
  info.ptMinTrackSize = {100, 100};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.y, 42);
}

// ---------------------------------------------------------------------------
// Hit test

// Points on a button's or the icon's right or bottom edge are probed where
// the platform's own hit test gives another code than the button's, so that
// answering for the button would show.
TEST_F(SkinnedFrameTest, HitTestAnswersTheButtonsIconAndTheDefault) {
  Open(false, kGamePlace);
  const int W = 760, H = 420;
  // The default answer: the platform's own, except that the band above the
  // client area is all caption (its own buttons are not there, and its
  // caption is not as tall as ours).
  auto byDefault = [](Hit platform, int y) {
    const bool ghost = platform == Hit::Nowhere || platform == Hit::SysMenu || platform == Hit::MinButton ||
                       platform == Hit::MaxButton || platform == Hit::Close || static_cast<int>(platform) == 21;
    return ghost && y < 39 ? Hit::Caption : platform;
  };
  const struct {
    const char* where;
    int x, y;
    std::optional<Hit> expected;  // none: the default answer
    std::optional<Hit> beside;    // an edge: not the code of the area it bounds
  } cases[] = {
      {"close", W - 20, 20, Hit::Close, {}},
      {"close, top-left corner", W - 30, 10, Hit::Close, {}},
      {"close, last pixel", W - 11, 29, Hit::Close, {}},
      {"close, right edge", W - 10, 28, {}, Hit::Close},
      {"close, bottom edge", W - 20, 30, {}, Hit::Close},
      {"maximise", W - 42, 20, Hit::MaxButton, {}},
      {"maximise, right edge", W - 32, 28, {}, Hit::MaxButton},
      {"maximise, bottom edge", W - 42, 30, {}, Hit::MaxButton},
      {"minimise", W - 64, 20, Hit::MinButton, {}},
      {"minimise, right edge", W - 54, 28, {}, Hit::MinButton},
      {"text button", W - 245, 20, {}, {}},
      {"hidden VIP button", W - 340, 20, {}, {}},
      {"icon", 20, 20, Hit::SysMenu, {}},
      {"icon, top-left corner", 15, 13, Hit::SysMenu, {}},
      {"icon, right edge", 31, 20, {}, Hit::SysMenu},
      {"icon, bottom edge", 20, 29, {}, Hit::SysMenu},
      {"caption", 300, 15, Hit::Caption, {}},
      {"caption, below the platform's own", 300, 36, Hit::Caption, {}},
      {"beside the close button, where the platform's would be", W - 7, 12, Hit::Caption, {}},
      {"client", 300, 200, Hit::Client, {}},
      {"left edge", 1, 200, Hit::Left, {}},
      {"bottom edge", 300, H - 1, Hit::Bottom, {}},
      {"bottom-right corner", W - 1, H - 1, Hit::BottomRight, {}},
  };
  for (const auto& c : cases) {
    const Hit platform = DefaultHitAt(c.x, c.y);
    const Hit ours = HitAt(c.x, c.y);
    if (c.expected) {
      EXPECT_EQ(ours, *c.expected) << c.where << " (the platform says " << static_cast<int>(platform) << ")";
    } else {
      EXPECT_EQ(ours, byDefault(platform, c.y)) << c.where;
    }
    if (c.beside) {
      ASSERT_NE(platform, *c.beside) << c.where << ": the probe tells nothing here";
      EXPECT_NE(ours, *c.beside) << c.where;
    }
  }
  // The probes of the caption cases above land where the platform answers
  // otherwise.
  EXPECT_EQ(DefaultHitAt(W - 7, 12), Hit::Close);
  EXPECT_EQ(DefaultHitAt(300, 36), Hit::Nowhere);
}

// ---------------------------------------------------------------------------
// Pointer input

TEST_F(SkinnedFrameTest, HoverAndPressShowOnTheButtonsCell) {
  Open(false, kGamePlace);
  const POINT close = ButtonCentre(110);
  PointerTo(close.x, close.y);
  EXPECT_EQ(FrameMismatches({{110, 1}}), "") << "hover cell";
  Press();
  EXPECT_EQ(FrameMismatches({{110, 2}}), "") << "pressed cell";
  // Off the button with the button still down: the press is let go of.
  const POINT bare = Screen(300, 20);
  PointerTo(bare.x, bare.y);
  EXPECT_EQ(FrameMismatches(), "") << "normal cell";
  Release();
  EXPECT_TRUE(frame->IsWindowVisible()) << "a release elsewhere fires nothing";
  EXPECT_TRUE(frame->sysCommands.empty());

  // Leaving the window is reported, and lets go of the hovered button.
  PointerTo(close.x, close.y);
  ASSERT_TRUE(frame->Button(110).m_bHover);
  PointerTo(1800, 1000);
  Pump(800);
  EXPECT_FALSE(frame->Button(110).m_bHover) << "the leave notification arrived";
}

TEST_F(SkinnedFrameTest, SystemButtonsSendTheirCommands) {
  Open(false, kGamePlace);
  // Maximise, restore, minimise: each command has run when the release returns.
  POINT at = ButtonCentre(111);
  ClickAt(at.x, at.y);
  EXPECT_TRUE(frame->IsZoomed());
  EXPECT_EQ(frame->sysCommands, (std::vector<unsigned>{SC_MAXIMIZE}));
  EXPECT_GT(frame->GetWindowRect().Width(), 760);
  Settle(111);
  EXPECT_EQ(FrameMismatches(), "") << "maximised: the frame at the new size";

  at = ButtonCentre(111);
  ClickAt(at.x, at.y);
  EXPECT_FALSE(frame->IsZoomed());
  EXPECT_EQ(frame->GetWindowRect().Width(), 760);
  EXPECT_TRUE(frame->Has(frame->sysCommands, SC_RESTORE));
  Settle(111);
  EXPECT_EQ(FrameMismatches(), "") << "restored";

  at = ButtonCentre(112);
  ClickAt(at.x, at.y);
  EXPECT_TRUE(frame->IsIconic());
  ASSERT_FALSE(frame->iconicAfterRelease.empty());
  EXPECT_TRUE(frame->iconicAfterRelease.back()) << "minimised before the release's handler returned";
  frame->ShowWindow(ui::ShowCommand::Restore);
  SetForegroundWindow(Handle(*frame));
  Pump(400);
  Settle(112);
  EXPECT_EQ(FrameMismatches(), "") << "restored after minimising";

  at = ButtonCentre(110);
  ClickAt(at.x, at.y);
  EXPECT_TRUE(frame->Has(frame->sysCommands, SC_CLOSE));
  EXPECT_TRUE(frame->Has(std::vector<unsigned>(frame->commands.begin(), frame->commands.end()), IDCANCEL))
      << "the close request became the dialog's cancel";
  EXPECT_FALSE(frame->IsWindowVisible());
}

TEST_F(SkinnedFrameTest, TextButtonsReachTheWindowsActions) {
  Open(false, kGamePlace);
  for (int id : {10, 11, 13, 12}) {
    const POINT at = ButtonCentre(id);
    ClickAt(at.x, at.y);
  }
  EXPECT_EQ(frame->actions, (std::vector<int>{10, 11, 13, 12}));
  // A double-click fires twice: the second press arrives as a double-click.
  frame->actions.clear();
  const POINT refresh = ButtonCentre(12);
  PointerTo(refresh.x, refresh.y);
  Press();
  Release();
  Press();
  Release();
  EXPECT_EQ(frame->actions, (std::vector<int>{12, 12}));
  EXPECT_NE(GetClassLongW(Handle(*frame), GCL_STYLE) & CS_DBLCLKS, 0u);

  // The hidden VIP button lets the release through; shown, it acts.
  frame->actions.clear();
  const POINT vip = ButtonCentre(14);
  SendMessageW(Handle(*frame), WM_NCLBUTTONUP, HTCAPTION, MAKELPARAM(vip.x, vip.y));
  EXPECT_TRUE(frame->actions.empty());
  frame->Button(14).m_bVisible = true;
  frame->PaintFrame();
  ClickAt(vip.x, vip.y);
  EXPECT_EQ(frame->actions, (std::vector<int>{14}));

  // A posted command arrives later, as a command.
  frame->PostCommand(4321);
  EXPECT_TRUE(frame->commands.empty() || frame->commands.back() != 4321) << "not sent";
  Pump(100);
  ASSERT_FALSE(frame->commands.empty());
  EXPECT_EQ(frame->commands.back(), 4321);
}

TEST_F(SkinnedFrameTest, CaptionDoubleClickMaximisesAndRestores) {
  Open(false, kGamePlace);
  const POINT caption = Screen(300, 20);
  PointerTo(caption.x, caption.y);
  Press();
  Release();
  Press();
  Release();
  EXPECT_TRUE(frame->IsZoomed());
  EXPECT_EQ(FrameMismatches(), "") << "maximised";
  const POINT again = Screen(300, 20);
  PointerTo(again.x, again.y);
  Press();
  Release();
  Press();
  Release();
  EXPECT_FALSE(frame->IsZoomed());
  EXPECT_EQ(frame->GetWindowRect(), (ui::Rect{kGamePlace.left, kGamePlace.top, kGamePlace.right, kGamePlace.bottom}));
  EXPECT_EQ(FrameMismatches(), "") << "restored";
}

// Finds the shown system menu and picks an entry with the pointer, or
// dismisses it with Escape, from another thread while the menu runs.
std::thread DriveMenu(HMENU menu, UINT command, std::atomic<bool>& seen) {
  return std::thread([menu, command, &seen] {
    for (int i = 0; i < 200 && !seen; ++i) {
      HWND popup = FindWindowW(L"#32768", nullptr);
      if (popup && IsWindowVisible(popup)) seen = true;
      Sleep(20);
    }
    Sleep(200);
    if (!seen) return;
    if (command == 0) {
      keybd_event(VK_ESCAPE, 0, 0, 0);
      keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
      return;
    }
    for (int pos = 0; pos < GetMenuItemCount(menu); ++pos) {
      if (GetMenuItemID(menu, pos) != command) continue;
      RECT item{};
      if (!GetMenuItemRect(nullptr, menu, static_cast<UINT>(pos), &item)) return;
      SetCursorPos((item.left + item.right) / 2, (item.top + item.bottom) / 2);
      Sleep(150);
      mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
      Sleep(50);
      mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
      return;
    }
  });
}

TEST_F(SkinnedFrameTest, IconOpensTheSystemMenu) {
  Open(false, kGamePlace);
  HMENU menu = GetSystemMenu(Handle(*frame), FALSE);
  ASSERT_TRUE(menu);
  const POINT icon = Screen(22, 20);

  // Dismissed: the frame is whole again once the menu has gone.
  std::atomic<bool> seen{false};
  std::thread driver = DriveMenu(menu, 0, seen);
  ClickAt(icon.x, icon.y);
  driver.join();
  Pump(300);
  EXPECT_TRUE(seen) << "the menu was shown";
  EXPECT_TRUE(frame->Has(frame->filtered, WM_UNINITMENUPOPUP)) << "its closing reached the filter";
  EXPECT_TRUE(frame->IsWindowVisible());
  EXPECT_EQ(FrameMismatches(), "") << "after the menu closed";

  // Its close entry closes the window.
  seen = false;
  frame->filtered.clear();
  driver = DriveMenu(menu, SC_CLOSE, seen);
  ClickAt(icon.x, icon.y);
  driver.join();
  Pump(300);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(frame->Has(frame->sysCommands, SC_CLOSE));
  EXPECT_FALSE(frame->IsWindowVisible());
}

}  // namespace
