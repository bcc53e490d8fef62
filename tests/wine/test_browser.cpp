// The WebBrowser control in our own container, under Wine. Wine has no HTML
// engine here: navigations start and can be cancelled, documents never load.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "HostHandlerAnswers.h"
#include "LoopbackServer.h"
#include "platform/win32/Win32Browser.h"
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
  std::vector<bool> topLevel;
  std::vector<std::string> completed;
  void OnBeforeNavigate2(const std::string& url, bool& cancelIt) override {
    before.push_back(url);
    cancelIt = cancel;
  }
  void OnNavigateComplete2(const std::string& url, bool top) override {
    navigated.push_back(url);
    topLevel.push_back(top);
  }
  void OnDocumentComplete(const std::string& url) override { completed.push_back(url); }
};

constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
constexpr IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

ui::win32::Win32Browser& Native(ui::Browser& browser) { return static_cast<ui::win32::Win32Browser&>(browser); }

// The client site the control itself was given.
IOleClientSite* SiteOf(ui::Browser& browser) {
  IOleClientSite* site = nullptr;
  if (Native(browser).Control()) Native(browser).Control()->GetClientSite(&site);
  return site;
}

IDocHostUIHandler* HostHandlerOf(IOleClientSite* site, HRESULT& result) {
  IDocHostUIHandler* handler = nullptr;
  result = site->QueryInterface(kIidDocHostUIHandler, reinterpret_cast<void**>(&handler));
  return handler;
}

IUnknown* Identity(IUnknown* object) {
  IUnknown* identity = nullptr;
  object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  if (identity) identity->Release();
  return identity;
}

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

// The engine asks the control's client site for the host handler as each
// document starts, frames included, so the choices are the site's, made
// before any document and kept for every later one. Wine never starts a
// document, so the test asks the site the way the engine does.
TEST(Browser, HostChoicesAreTheClientSitesForEveryLaterDocument) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
  ASSERT_TRUE(browser);
  IOleClientSite* site = SiteOf(*browser);
  ASSERT_NE(site, nullptr);

  // Without choices the engine keeps its own behaviour.
  HRESULT found = S_OK;
  EXPECT_EQ(HostHandlerOf(site, found), nullptr);
  EXPECT_EQ(found, E_NOINTERFACE);

  ASSERT_FALSE(browser->HasDocument());
  auto token = std::make_shared<int>(0);
  ui::HostChoices choices = wine_tests::GameWindowChoices(true);
  choices.external["getGsName"] = [token](const std::vector<std::string>&) { return std::string(); };
  EXPECT_TRUE(browser->InstallHostChoices(choices));
  choices.external.clear();

  IDocHostUIHandler* handler = HostHandlerOf(site, found);
  ASSERT_EQ(found, S_OK);
  ASSERT_NE(handler, nullptr);
  // A part of the site: one identity, and the site is reached from it.
  EXPECT_EQ(Identity(handler), Identity(site));
  IOleClientSite* back = nullptr;
  EXPECT_EQ(handler->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, site);
  if (back) back->Release();
  wine_tests::ExpectGameWindowAnswers(handler, true);

  // A navigation leaves the choices with the site.
  browser->SetSilent(true);
  browser->Navigate("about:blank");
  PumpUntil([] { return false; }, 500);
  IDocHostUIHandler* later = HostHandlerOf(site, found);
  ASSERT_NE(later, nullptr);
  wine_tests::ExpectGameWindowAnswers(later, true);
  later->Release();

  // New choices reach a document that asked before them.
  ui::HostChoices noMenu;
  noMenu.contextMenu = false;
  EXPECT_TRUE(browser->InstallHostChoices(noMenu));
  POINT at{5, 5};
  EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), S_OK);
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(handler->GetExternal(&external), E_NOTIMPL);
  EXPECT_EQ(external, nullptr);
  // The first choices' script methods went with them.
  EXPECT_EQ(token.use_count(), 1);

  // Once the browser has gone, a document still holding the site gets no
  // choices, and no script method of the window that went.
  EXPECT_TRUE(browser->InstallHostChoices(wine_tests::GameWindowChoices(true)));
  browser->DestroyWindow();
  EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), S_FALSE);
  external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(handler->GetExternal(&external), E_NOTIMPL);
  EXPECT_EQ(external, nullptr);
  EXPECT_FALSE(browser->InstallHostChoices(wine_tests::GameWindowChoices(true)));
  handler->Release();
  site->Release();
}

// Raises NavigateComplete2 and DocumentComplete on the browser's event sink
// as the control does: (pDisp, URL) last-first, the address by reference.
void RaiseOnSink(ui::Browser& browser, DISPID event, IDispatch* from, const std::wstring& url) {
  VARIANT address;
  VariantInit(&address);
  V_VT(&address) = VT_BSTR;
  V_BSTR(&address) = SysAllocString(url.c_str());
  VARIANT args[2];
  VariantInit(&args[0]);
  V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&args[0]) = &address;
  VariantInit(&args[1]);
  if (from) {
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = from;
  }
  DISPPARAMS params{args, nullptr, 2, 0};
  Native(browser).EventSink()->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                      nullptr);
  VariantClear(&address);
}

// Wine raises no NavigateComplete2 (its control loads no document, not even
// about:blank), so the events are raised here with the objects the control
// would pass: itself, under any of its interfaces, for the page; another
// browser object for a frame.
TEST(Browser, NavigateComplete2TellsThePagesOwnFromAFrames) {
  Host host;
  ASSERT_TRUE(host.Create(nullptr));
  Recorder events, frameEvents;
  auto browser = host.Peer().CreateBrowser(1001, ui::Rect::FromXYWH(0, 0, 300, 200), events);
  auto frame = host.Peer().CreateBrowser(1002, ui::Rect::FromXYWH(0, 0, 10, 10), frameEvents);
  ASSERT_TRUE(browser && frame);
  ASSERT_NE(Native(*browser).EventSink(), nullptr);
  EXPECT_EQ(browser->Title(), "");  // no document yet

  IDispatch* asBrowser2 = nullptr;
  IDispatch* asDispatch = nullptr;
  IDispatch* frameObject = nullptr;
  Native(*browser).Control()->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&asBrowser2));
  Native(*browser).Control()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&asDispatch));
  Native(*frame).Control()->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&frameObject));
  ASSERT_TRUE(asBrowser2 && asDispatch && frameObject);

  const struct {
    const char* from;
    IDispatch* object;
    bool topLevel;
  } cases[] = {
      {"the control as IWebBrowser2", asBrowser2, true},
      {"the control as IDispatch", asDispatch, true},
      {"a frame's browser object", frameObject, false},
      {"no object", nullptr, false},
  };
  for (const auto& c : cases) {
    events.navigated.clear();
    events.topLevel.clear();
    events.completed.clear();
    RaiseOnSink(*browser, DISPID_NAVIGATECOMPLETE2, c.object, L"http://127.0.0.1/游戏.html");
    RaiseOnSink(*browser, DISPID_DOCUMENTCOMPLETE, c.object, L"http://127.0.0.1/游戏.html");
    ASSERT_EQ(events.navigated.size(), 1u) << c.from;
    EXPECT_EQ(events.navigated.front(), "http://127.0.0.1/游戏.html") << c.from;
    EXPECT_EQ(events.topLevel.front(), c.topLevel) << c.from;
    EXPECT_EQ(events.completed, std::vector<std::string>{"http://127.0.0.1/游戏.html"}) << c.from;
  }
  EXPECT_TRUE(frameEvents.navigated.empty());
  asBrowser2->Release();
  asDispatch->Release();
  frameObject->Release();
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
