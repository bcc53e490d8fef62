// The WebBrowser control in our own container, under Wine. Wine has no HTML
// engine here: navigations start and can be cancelled, documents never load.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "platform/win32/Win32WindowPeer.h"
#include "ui/Window.h"

namespace {

using wine_tests::LoopbackServer;

class Host : public ui::Dialog {
 public:
  Host() : ui::Dialog(902) {}
};

struct Recorder : ui::BrowserEvents {
  bool cancel = false;
  std::vector<std::string> before;
  std::vector<std::string> navigated;
  void OnBeforeNavigate2(const std::string& url, bool& cancelIt) override {
    before.push_back(url);
    cancelIt = cancel;
  }
  void OnNavigateComplete2(const std::string& url, bool) override { navigated.push_back(url); }
};

// Pumps messages until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui::win32::Win32WindowPeer::ProcessMessage(msg);
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

TEST(Browser, IsAChildControlTheHostPlaces) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(10, 20, 300, 200), events);
  ASSERT_TRUE(browser);
  EXPECT_TRUE(host.Peer().HasControl(1001));
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(10, 20, 300, 200));
  browser->Move(ui::Rect::FromXYWH(2000, 2000, 1, 1), false);
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(2000, 2000, 1, 1));
  host.Peer().MoveControl(1001, ui::Rect::FromXYWH(5, 6, 70, 80), true);
  EXPECT_EQ(browser->Placement(), ui::Rect::FromXYWH(5, 6, 70, 80));
  browser->DestroyWindow();
  EXPECT_FALSE(host.Peer().HasControl(1001));
}

TEST(Browser, BeforeNavigate2CarriesTheAddressAndCancelStopsTheRequest) {
  const struct {
    bool cancel;
    bool requested;
  } cases[] = {{true, false}, {false, true}};
  for (const auto& c : cases) {
    LoopbackServer server;
    Host host;
    ASSERT_TRUE(host.Create(nullptr));
    Recorder events;
    events.cancel = c.cancel;
    auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
    ASSERT_TRUE(browser);
    browser->SetSilent(true);
    const std::string url = server.Url("/login.php?server_id=S12");
    browser->Navigate(url);
    ASSERT_TRUE(PumpUntil([&] { return !events.before.empty(); }, 10000)) << "no BeforeNavigate2";
    EXPECT_EQ(events.before.front(), url);
    // A request that is going to come comes within seconds; a cancelled one
    // must not come at all in that time.
    PumpUntil([&] { return !server.Requests().empty(); }, c.cancel ? 3000 : 15000);
    const auto requests = server.Requests();
    EXPECT_EQ(!requests.empty(), c.requested) << "cancel " << c.cancel;
    if (c.requested && !requests.empty()) {
      EXPECT_EQ(requests.front(), "GET /login.php?server_id=S12 HTTP/1.1");
    }
    browser->Stop();
  }
}

// Counts its references; every host call is left to the browser.
class CountingHandler : public ui::DocHostUIHandler {
 public:
  explicit CountingHandler(int& deletions) : m_deletions(deletions) {}
  long references = 1;

  ui::HResult QueryInterface(const ui::Guid& riid, void** ppv) override {
    if (riid == ui::kIidUnknown || riid == ui::kIidDocHostUIHandler) {
      *ppv = this;
      AddRef();
      return ui::kSOk;
    }
    *ppv = nullptr;
    return ui::kENoInterface;
  }
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t Release() override {
    const long left = --references;
    if (left == 0) delete this;
    return static_cast<std::uint32_t>(left);
  }
  ui::HResult ShowContextMenu(std::uint32_t, const ui::Point*, void*, void*) override { return ui::kSFalse; }
  ui::HResult GetHostInfo(ui::DocHostUIInfo*) override { return ui::kENotImpl; }
  ui::HResult ShowUI(std::uint32_t, void*, void*, void*, void*) override { return ui::kENotImpl; }
  ui::HResult HideUI() override { return ui::kENotImpl; }
  ui::HResult UpdateUI() override { return ui::kENotImpl; }
  ui::HResult EnableModeless(bool) override { return ui::kENotImpl; }
  ui::HResult OnDocWindowActivate(bool) override { return ui::kENotImpl; }
  ui::HResult OnFrameWindowActivate(bool) override { return ui::kENotImpl; }
  ui::HResult ResizeBorder(const ui::Rect*, void*, bool) override { return ui::kENotImpl; }
  ui::HResult TranslateAccelerator(const ui::Message*, const ui::Guid*, std::uint32_t) override {
    return ui::kENotImpl;
  }
  ui::HResult GetOptionKeyPath(char16_t**, std::uint32_t) override { return ui::kENotImpl; }
  ui::HResult GetDropTarget(void*, void**) override { return ui::kENotImpl; }
  ui::HResult GetExternal(void**) override { return ui::kENotImpl; }
  ui::HResult TranslateUrl(std::uint32_t, const char16_t*, char16_t**) override { return ui::kENotImpl; }
  ui::HResult FilterDataObject(void*, void**) override { return ui::kENotImpl; }

 private:
  ~CountingHandler() override { ++m_deletions; }
  int& m_deletions;
};

// Wine loads no document, so this is the path every Wine run takes: no
// handler is installed and none of its references is kept or lost.
TEST(Browser, HostHandlerWithoutADocumentIsRefusedAndNotHeld) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 100, 100), events);
  ASSERT_TRUE(browser);
  int deletions = 0;
  auto* handler = new CountingHandler(deletions);
  EXPECT_FALSE(browser->HasDocument());
  EXPECT_FALSE(browser->SetUIHandler(handler));
  EXPECT_EQ(handler->references, 1);
  browser->SetSilent(true);
  browser->Navigate("about:blank");
  PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(browser->SetUIHandler(handler), browser->HasDocument());
  EXPECT_FALSE(browser->SetUIHandler(nullptr));
  browser->DestroyWindow();
  EXPECT_FALSE(browser->SetUIHandler(handler));
  EXPECT_EQ(handler->references, 1);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(deletions, 1);
}

TEST(Browser, OutlivingItsWindowIsHarmless) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 100, 100), events);
  ASSERT_TRUE(browser);
  host.DestroyWindow();
  EXPECT_EQ(browser->Placement(), ui::Rect{});
  browser->Navigate("http://127.0.0.1:9/");
  EXPECT_TRUE(events.before.empty());
  browser.reset();
}

}  // namespace
