// The game window of the system on the real backend, under Wine on a private
// X display: run modally on a game address served on loopback, maximised
// under its own frame, its caption buttons clicked and its message boxes
// answered with the system's pointer input (SetCursorPos and mouse_event),
// and the fresh copy a confirmed close starts. The fresh copy is this test
// executable, which only writes a report when it runs as such a child.
#include <gtest/gtest.h>

// Before any header of the system: windows.h without the renaming macros.
#include "platform/win32/WinApi.h"
// after windows.h
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "ScreenPixels.h"
#include "WineTestSupport.h"
#include "app/CKQVClientApp.h"
#include "core/ExecutableName.h"
#include "core/PlatformConfig.h"
#include "gamewnd/ChtmlbrowserDlg.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeer.h"
#include "ui/Platform.h"

using ui::win32::Narrow;
using ui::win32::Widen;
using wine_tests::Grab;
using wine_tests::Handle;
using wine_tests::LoopbackServer;
using wine_tests::Pixels;

namespace {

constexpr int kFramePicture = 164;
constexpr int kCaptionHeight = 39;
constexpr int kFillColumn = 218;
constexpr int kRightCap = 50;
constexpr int kRefresh = 12, kClean = 13, kClose = 110;

// ---------------------------------------------------------------------------
// Pixels

int Channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
bool Near(COLORREF a, COLORREF b) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > 6) return false;
  }
  return true;
}

// The frame's picture, straight colours.
Pixels FramePicture() { return wine_tests::PngPixels(kFramePicture); }

// How much of the caption on screen is the frame's picture, in the rows no
// icon, title or button covers: the left part as drawn, the fill column
// stretched, the right cap. The platform's own caption matches none of it.
struct CaptionMatch {
  int compared = 0;
  int matching = 0;
  double Share() const { return compared ? static_cast<double>(matching) / compared : 0.0; }
};
CaptionMatch CompareCaption(HWND hwnd, const Pixels& picture) {
  CaptionMatch match;
  RECT window{};
  GetWindowRect(hwnd, &window);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const RECT visible{std::max<LONG>(window.left, 0), std::max<LONG>(window.top, 0),
                     std::min<LONG>(window.right, screenWidth), std::min<LONG>(window.bottom, screenHeight)};
  if (visible.right <= visible.left || visible.bottom <= visible.top || picture.width == 0) return match;
  const Pixels screen = Grab(visible);
  const int width = window.right - window.left;
  for (int y = 0; y < kCaptionHeight; ++y) {
    // Rows above the buttons (which start at 10) and below the title and
    // icon (which end before 31).
    if (y >= 10 && y <= 30) continue;
    const int screenY = window.top + y - visible.top;
    if (screenY < 0 || screenY >= screen.height) continue;
    // The rounded corners are cut from the window's shape.
    for (int x = 6; x < width - 6; ++x) {
      const int screenX = window.left + x - visible.left;
      if (screenX < 0 || screenX >= screen.width) continue;
      int from = kFillColumn;
      if (x < kFillColumn) from = x;
      if (x >= width - kRightCap) from = picture.width - kRightCap + (x - (width - kRightCap));
      ++match.compared;
      if (Near(screen.Get(screenX, screenY), picture.Get(from, y))) ++match.matching;
    }
  }
  return match;
}

// ---------------------------------------------------------------------------
// The URL cache

// ---------------------------------------------------------------------------
// Message boxes

struct Box {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;
};

// A message box over `owner`: a visible dialog-class window it owns.
std::optional<Box> FindBox(HWND owner) {
  struct Search {
    HWND owner;
    HWND found = nullptr;
  } search{owner};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        wchar_t name[32] = {};
        GetClassNameW(hwnd, name, 32);
        if (wcscmp(name, L"#32770") != 0 || !IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER) != s.owner) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (!search.found) return std::nullopt;
  Box box{search.found, {}, {}};
  wchar_t text[512] = {};
  GetWindowTextW(search.found, text, 512);
  box.caption = Narrow(text);
  text[0] = 0;
  GetDlgItemTextW(search.found, 0xFFFF, text, 512);
  box.text = Narrow(text);
  return box;
}

// How many message boxes `owner` shows.
int CountBoxes(HWND owner) {
  struct Search {
    HWND owner;
    int found = 0;
  } search{owner};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        wchar_t name[32] = {};
        GetClassNameW(hwnd, name, 32);
        if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == s.owner) ++s.found;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The box is what the user sees at its centre: it is on top of the window.
bool OnTop(HWND box) {
  RECT r{};
  GetWindowRect(box, &r);
  const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  return GetAncestor(WindowFromPoint(centre), GA_ROOT) == box;
}

// The box's text as drawn on the screen: its dark pixels.
int DrawnTextPixels(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  RECT r{};
  if (!text || !GetWindowRect(text, &r) || r.right <= r.left || r.bottom <= r.top) return 0;
  const Pixels pixels = Grab(r);
  return static_cast<int>(std::count_if(pixels.at.begin(), pixels.at.end(), [](COLORREF c) {
    return Channel(c, 0) + Channel(c, 8) + Channel(c, 16) < 3 * 128;
  }));
}

POINT CentreOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// ---------------------------------------------------------------------------
// The script: steps run one after the other from a thread timer, inside the
// window's modal loop and inside the message boxes' own loops. A step
// answers true when it is done; each has a time limit.

struct Step {
  std::string name;
  std::function<bool()> run;
};

struct Script {
  std::vector<Step> steps;
  size_t next = 0;
  ULONGLONG stepStarted = 0;
  std::string timedOut;  // the step that ran out of time
  std::function<void()> abandon;
};
Script* g_script = nullptr;

constexpr ULONGLONG kStepLimit = 20000;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  Script& script = *g_script;
  if (script.next >= script.steps.size() || !script.timedOut.empty()) return;
  if (script.stepStarted == 0) script.stepStarted = GetTickCount64();
  if (script.steps[script.next].run()) {
    ++script.next;
    script.stepStarted = 0;
  } else if (GetTickCount64() - script.stepStarted > kStepLimit) {
    script.timedOut = script.steps[script.next].name;
    script.abandon();
  }
}

// A click as the user's: the pointer moves there, then a press and a release
// on later ticks, through the system's input queue.
void AddClick(std::vector<Step>& steps, const std::string& name, std::function<POINT()> where) {
  steps.push_back({name + ": pointer", [where] {
                     const POINT at = where();
                     SetCursorPos(at.x, at.y);
                     return true;
                   }});
  steps.push_back({name + ": press", [] {
                     mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
                     return true;
                   }});
  steps.push_back({name + ": release", [] {
                     mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
                     return true;
                   }});
}

// Waits on later ticks: a step that is done once some time has passed.
std::function<bool()> After(DWORD milliseconds, std::function<void()> then = {}) {
  auto started = std::make_shared<ULONGLONG>(0);
  return [=] {
    if (*started == 0) *started = GetTickCount64();
    if (GetTickCount64() - *started < milliseconds) return false;
    if (then) then();
    return true;
  };
}

int CountRequests(const LoopbackServer& server, const std::string& requestLine) {
  const auto requests = server.Requests();
  return static_cast<int>(std::count(requests.begin(), requests.end(), requestLine));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

TEST(GameWindow, RunsMaximisedUnderItsFrameAndItsCaptionButtonsAct) {
  LoopbackServer server;
  CKQVClientApp app;
  const std::string gamePath = "/game/start.html?server_id=S12";
  const std::string gameRequest = "GET " + gamePath + " HTTP/1.1";
  app.GameUrl = server.Url(gamePath);
  // Not the platform with the VIP chat: its service is not served here.
  PlatformConfig::Instance().Set("platform", "4399");

  // The fresh copy of the executable reports how it was started, and counts
  // its starts in a file of its own.
  wine_tests::TempDir dir("game window");
  const std::string report = dir.File("restarted.txt");
  const std::string starts = report + ".starts";
  wine_tests::WriteFile(starts, "");
  SetEnvironmentVariableW(Widen(wine_tests::kChildReportVariable).c_str(), Widen(report).c_str());

  // A populated cache: what the game loaded and the player's cookie.
  const std::wstring script = L"http://kqv.invalid/game/main.js";
  const std::wstring art = L"http://kqv.invalid/game/art.png";
  const std::wstring cookie = L"Cookie:player@kqv.invalid/";
  ASSERT_TRUE(wine_tests::AddUrlCacheEntry(script, NORMAL_CACHE_ENTRY));
  ASSERT_TRUE(wine_tests::AddUrlCacheEntry(art, NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY));
  ASSERT_TRUE(wine_tests::AddUrlCacheEntry(cookie, COOKIE_CACHE_ENTRY));

  const Pixels picture = FramePicture();
  ASSERT_GT(picture.width, 0);

  ChtmlbrowserDlg dialog(app.GameUrl);
  auto hwnd = [&] { return Handle(dialog); };
  auto buttonCentre = [&](int id) {
    return [&, id] {
      RECT window{};
      GetWindowRect(hwnd(), &window);
      const ui::Rect r = dialog.Button(id).m_rect;
      return POINT{window.left + (r.left + r.right) / 2, window.top + (r.top + r.bottom) / 2};
    };
  };
  auto boxButton = [&](int id) {
    return [&, id] {
      auto box = FindBox(hwnd());
      return box ? CentreOf(GetDlgItem(box->hwnd, id)) : POINT{0, 0};
    };
  };
  // What the user sees of the window, checked after each action.
  auto expectFrame = [&](const std::string& after) {
    EXPECT_TRUE(IsWindowVisible(hwnd())) << after;
    EXPECT_TRUE(IsZoomed(hwnd())) << after;
    const CaptionMatch match = CompareCaption(hwnd(), picture);
    EXPECT_GT(match.compared, 10000) << after;
    EXPECT_GE(match.Share(), 0.98) << after << ": " << match.matching << " of " << match.compared;
  };
  std::optional<Box> seen;  // the box of the step that waited for one
  auto waitForBox = [&](std::string caption, std::string text) {
    return [&, caption, text] {
      seen = FindBox(hwnd());
      // Found once the user can read it.
      if (!seen || DrawnTextPixels(seen->hwnd) < 20) return false;
      EXPECT_EQ(seen->caption, caption);
      EXPECT_EQ(seen->text, text);
      EXPECT_TRUE(OnTop(seen->hwnd)) << caption;
      return true;
    };
  };
  auto boxGone = [&] { return !FindBox(hwnd()); };

  Script run;
  auto& steps = run.steps;
  steps.push_back({"shown, maximised, the game requested", [&] {
                     if (!dialog.IsWindow() || !IsWindowVisible(hwnd()) || !IsZoomed(hwnd())) return false;
                     return CountRequests(server, gameRequest) >= 1;
                   }});
  steps.push_back({"settled", After(1000, [&] {
                     RECT window{};
                     GetWindowRect(hwnd(), &window);
                     EXPECT_LE(window.left, 0);
                     EXPECT_LE(window.top, 0);
                     EXPECT_GE(window.right, GetSystemMetrics(SM_CXSCREEN));
                     expectFrame("shown");
                   })});

  // 刷新 asks for the game address again.
  AddClick(steps, "刷新", buttonCentre(kRefresh));
  steps.push_back({"the game requested again", [&] { return CountRequests(server, gameRequest) >= 2; }});
  steps.push_back({"after the reload", After(500, [&] {
                     EXPECT_EQ(CountRequests(server, gameRequest), 2);
                     expectFrame("reload");
                   })});

  // 清理, then No: nothing is cleaned and nothing more is shown.
  AddClick(steps, "清理", buttonCentre(kClean));
  steps.push_back({"the cleaning question", waitForBox("清理提示", "确定清理浏览器缓存？")});
  AddClick(steps, "否 to cleaning", boxButton(IDNO));
  steps.push_back({"the question gone", boxGone});
  steps.push_back({"nothing cleaned", After(1500, [&] {
                     EXPECT_FALSE(FindBox(hwnd())) << "a box after No";
                     EXPECT_TRUE(wine_tests::InUrlCache(script));
                     EXPECT_TRUE(wine_tests::InUrlCache(art));
                     EXPECT_TRUE(wine_tests::InUrlCache(cookie));
                     expectFrame("cleaning refused");
                   })});

  // 清理, then Yes: everything but the cookie goes, then the box says so.
  AddClick(steps, "清理 again", buttonCentre(kClean));
  steps.push_back({"the cleaning question again", waitForBox("清理提示", "确定清理浏览器缓存？")});
  AddClick(steps, "是 to cleaning", boxButton(IDYES));
  steps.push_back({"the cleaning done", [&] {
                     auto box = FindBox(hwnd());
                     if (!box || box->text == "确定清理浏览器缓存？" || DrawnTextPixels(box->hwnd) < 20) return false;
                     EXPECT_EQ(box->caption, ExecutableBaseName());
                     EXPECT_EQ(box->text, "缓存清理完毕");
                     EXPECT_TRUE(OnTop(box->hwnd));
                     EXPECT_FALSE(wine_tests::InUrlCache(script));
                     EXPECT_FALSE(wine_tests::InUrlCache(art));
                     EXPECT_TRUE(wine_tests::InUrlCache(cookie));
                     return true;
                   }});
  AddClick(steps, "确定", boxButton(IDOK));
  steps.push_back({"the completion gone", boxGone});
  steps.push_back({"after cleaning", After(500, [&] { expectFrame("cleaning"); })});

  // The drawn close button, then No: the window stays, nothing is started.
  AddClick(steps, "close", buttonCentre(kClose));
  steps.push_back({"the close question", waitForBox("关闭提示", "正在游戏中，确定退出《Qelunar》？")});
  AddClick(steps, "否 to closing", boxButton(IDNO));
  steps.push_back({"the close question gone", boxGone});
  steps.push_back({"still playing", After(2000, [&] {
                     EXPECT_FALSE(wine_tests::FileExists(report)) << "a copy started after No";
                     expectFrame("close refused");
                   })});

  // Close again, then Yes: a fresh copy starts and the window ends.
  AddClick(steps, "close again", buttonCentre(kClose));
  steps.push_back({"the close question again", waitForBox("关闭提示", "正在游戏中，确定退出《Qelunar》？")});
  // More close requests while it asks (another WM_CLOSE, SC_CLOSE): the
  // question's own loop delivers them, and they ask nothing more.
  steps.push_back({"more close requests", [&] {
                     PostMessageW(hwnd(), WM_CLOSE, 0, 0);
                     PostMessageW(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
                     return true;
                   }});
  steps.push_back({"still one question", After(1500, [&] { EXPECT_EQ(CountBoxes(hwnd()), 1); })});
  AddClick(steps, "是 to closing", boxButton(IDYES));
  steps.push_back({"ended", [] { return false; }});  // the modal loop ends first

  run.abandon = [&] {
    if (auto box = FindBox(hwnd())) EndDialog(box->hwnd, IDNO);
    dialog.EndDialog(IDABORT);
  };
  g_script = &run;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &OnTick);
  const int result = dialog.DoModal();
  KillTimer(nullptr, timer);
  g_script = nullptr;
  const bool windowLeft = dialog.IsWindow() && IsWindowVisible(hwnd());
  if (dialog.IsWindow()) dialog.DestroyWindow();

  EXPECT_EQ(run.timedOut, "");
  EXPECT_EQ(run.next < steps.size() ? steps[run.next].name : "past the end", "ended");
  EXPECT_EQ(result, ui::kIdCancel);
  EXPECT_FALSE(windowLeft);

  // Exactly one fresh copy of this executable, without arguments.
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (!wine_tests::FileExists(report) && GetTickCount64() < deadline) Sleep(100);
  Sleep(2000);  // a second copy would have started by now
  SetEnvironmentVariableW(Widen(wine_tests::kChildReportVariable).c_str(), nullptr);
  ASSERT_TRUE(wine_tests::FileExists(report)) << "no fresh copy started";
  const std::vector<std::string> lines = Lines(wine_tests::ReadFile(report));
  EXPECT_EQ(lines, (std::vector<std::string>{"args=", "module=" + ui::GetPlatform().ModulePath(),
                                             "argv=" + ui::GetPlatform().ModulePath()}));
  EXPECT_EQ(wine_tests::ReadFile(starts), "start\n");

  for (const auto& url : {script, art, cookie}) DeleteUrlCacheEntryW(url.c_str());
}

}  // namespace
