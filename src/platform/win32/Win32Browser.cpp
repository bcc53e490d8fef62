#include "platform/win32/Win32Browser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/ComObject.h"
#include "platform/win32/DocHostUIAdapter.h"
#include "platform/win32/HostUIHandler.h"
#include "platform/win32/Text.h"

namespace ui::win32 {
namespace {

// The identities this host needs, spelled out here so that the backend does
// not depend on which of them an import library happens to carry.
constexpr CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
constexpr IID kIidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
constexpr IID kIidCustomDoc = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
constexpr IID kIidHtmlDocument2 = {0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

constexpr wchar_t kHostClass[] = L"KQVBrowserHost";

std::vector<Win32Browser*>& LiveBrowsers() {
  static std::vector<Win32Browser*> browsers;
  return browsers;
}

}  // namespace

// The container side of the control: client site, in-place site and frame,
// and once the host has made its choices, the documents' host handler.
class BrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, RefCounted {
 public:
  explicit BrowserSite(Win32Browser* browser) : m_browser(browser), m_uiHandler(*this) {}
  ~BrowserSite() override { SetHostHandler(nullptr); }
  void Detach() {
    m_browser = nullptr;
    // The choices' script methods may belong to the window that is going.
    SetHostHandler(nullptr);
  }
  // The engine asks the client site for a host handler as each document
  // starts, frames included, so choices made here reach every later
  // document; ICustomDoc reaches only the current one.
  // What the site answers for IDocHostUIHandler: the current choices.
  IDocHostUIHandler* HostHandler() { return &m_uiHandler; }
  void SetHostHandler(IDocHostUIHandler* handler) {
    if (handler) handler->AddRef();
    if (m_hostHandler) m_hostHandler->Release();
    m_hostHandler = handler;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(riid, kIidDocHostUIHandler) && m_hostHandler) {
      // Without choices the engine keeps its own behaviour.
      *object = static_cast<IDocHostUIHandler*>(&m_uiHandler);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = m_browser ? m_browser->m_host : nullptr;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return m_browser ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info || !m_browser) return E_INVALIDARG;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(m_browser->m_host, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(m_browser->m_host, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
    if (!m_browser || !m_browser->m_object || !rect) return S_OK;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(m_browser->m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
      inPlace->SetObjectRects(rect, rect);
      inPlace->Release();
    }
    return S_OK;
  }

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  // The site's IDocHostUIHandler: a part of the site, with its identity and
  // references, that hands every call to the current choices. After the
  // browser has gone it answers as a site without choices.
  class UIHandlerPart : public IDocHostUIHandler {
   public:
    explicit UIHandlerPart(BrowserSite& site) : m_site(site) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return m_site.QueryInterface(riid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_site.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_site.Release(); }

    STDMETHODIMP ShowContextMenu(DWORD id, POINT* at, IUnknown* target, IDispatch* object) override {
      return Choices() ? Choices()->ShowContextMenu(id, at, target, object) : S_FALSE;
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
      return Choices() ? Choices()->GetHostInfo(info) : E_NOTIMPL;
    }
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target, IOleInPlaceFrame* frame,
                        IOleInPlaceUIWindow* document) override {
      return Choices() ? Choices()->ShowUI(id, active, target, frame, document) : S_FALSE;
    }
    STDMETHODIMP HideUI() override { return Choices() ? Choices()->HideUI() : E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return Choices() ? Choices()->UpdateUI() : E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL enable) override {
      return Choices() ? Choices()->EnableModeless(enable) : E_NOTIMPL;
    }
    STDMETHODIMP OnDocWindowActivate(BOOL active) override {
      return Choices() ? Choices()->OnDocWindowActivate(active) : E_NOTIMPL;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL active) override {
      return Choices() ? Choices()->OnFrameWindowActivate(active) : E_NOTIMPL;
    }
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override {
      return Choices() ? Choices()->ResizeBorder(border, window, frame) : E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override {
      return Choices() ? Choices()->TranslateAccelerator(msg, group, command) : S_FALSE;
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override {
      if (Choices()) return Choices()->GetOptionKeyPath(key, reserved);
      if (key) *key = nullptr;
      return E_NOTIMPL;
    }
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** out) override {
      if (Choices()) return Choices()->GetDropTarget(target, out);
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override {
      if (Choices()) return Choices()->GetExternal(external);
      if (!external) return E_POINTER;
      *external = nullptr;
      return E_NOTIMPL;
    }
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR in, LPWSTR* out) override {
      if (Choices()) return Choices()->TranslateUrl(translate, in, out);
      if (out) *out = nullptr;
      return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject* in, IDataObject** out) override {
      if (Choices()) return Choices()->FilterDataObject(in, out);
      if (out) *out = nullptr;
      return S_FALSE;
    }

   private:
    IDocHostUIHandler* Choices() const { return m_site.m_hostHandler; }
    BrowserSite& m_site;
  };

  Win32Browser* m_browser;
  IDocHostUIHandler* m_hostHandler = nullptr;
  UIHandlerPart m_uiHandler;
};

// Receives the control's events and hands them to the browser's events.
class BrowserEventSink : public DispatchObject {
 public:
  // browser: the control's own identity, to tell its events from its frames'.
  BrowserEventSink(BrowserEvents* events, IUnknown* browser)
      : DispatchObject(kIidWebBrowserEvents2), m_browser(browser), m_events(events) {}
  void Detach() { m_events = nullptr; }

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!m_events || !params) return S_OK;
    // Arguments come last-first: rgvarg[cArgs - 1] is the first one.
    auto argument = [params](UINT fromFirst) -> VARIANT* {
      return fromFirst < params->cArgs ? &params->rgvarg[params->cArgs - 1 - fromFirst] : nullptr;
    };
    AddRef();  // a handler may drop the browser, and with it this sink
    switch (id) {
      case DISPID_BEFORENAVIGATE2: {
        // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
        VARIANT* cancelArg = argument(6);
        bool cancel = false;
        const std::string url = VariantText(argument(1));
        m_events->OnBeforeNavigate2(url, cancel);
        if (cancelArg && V_VT(cancelArg) == (VT_BYREF | VT_BOOL) && V_BOOLREF(cancelArg)) {
          *V_BOOLREF(cancelArg) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
        }
        break;
      }
      case DISPID_NAVIGATECOMPLETE2:  // (pDisp, URL)
        m_events->OnNavigateComplete2(VariantText(argument(1)), IsTopLevel(argument(0)));
        break;
      case DISPID_DOCUMENTCOMPLETE:  // (pDisp, URL)
        m_events->OnDocumentComplete(VariantText(argument(1)));
        break;
      default:
        break;
    }
    Release();
    return S_OK;
  }

 private:
  // The event's pDisp is the control itself for the page, a frame otherwise.
  bool IsTopLevel(const VARIANT* dispatch) const {
    if (!dispatch || V_VT(dispatch) != VT_DISPATCH || !V_DISPATCH(dispatch) || !m_browser) return false;
    IUnknown* identity = nullptr;
    if (FAILED(V_DISPATCH(dispatch)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return false;
    identity->Release();
    return identity == m_browser;
  }
  IUnknown* m_browser;
  BrowserEvents* m_events;
};

Win32Browser::Win32Browser(HWND parent, BrowserEvents& events) : m_parent(parent), m_events(events) {}

Win32Browser::~Win32Browser() { DestroyWindow(); }

std::unique_ptr<Win32Browser> Win32Browser::Create(HWND parent, int controlId, const Rect& rect,
                                                   BrowserEvents& events) {
  std::unique_ptr<Win32Browser> browser(new Win32Browser(parent, events));
  if (!browser->Start(controlId, rect)) return nullptr;
  return browser;
}

bool Win32Browser::Start(int controlId, const Rect& rect) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (!GetClassInfoExW(module, kHostClass, &windowClass)) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Browser::HostProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kHostClass;
    RegisterClassExW(&windowClass);
  }
  // A control of the same id in the template is only a placeholder.
  if (HWND placeholder = GetDlgItem(m_parent, controlId)) ::DestroyWindow(placeholder);
  m_host = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP,
                           rect.left, rect.top, rect.Width(), rect.Height(), m_parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), module, nullptr);
  if (!m_host) return false;
  SetWindowLongPtrW(m_host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  LiveBrowsers().push_back(this);

  if (FAILED(CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&m_object)))) {
    return false;
  }
  m_site = new BrowserSite(this);
  m_object->SetClientSite(static_cast<IOleClientSite*>(m_site));
  RECT area{};
  GetClientRect(m_host, &area);
  m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(m_site), 0, m_host, &area);
  if (FAILED(m_object->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&m_browser)))) return false;
  m_object->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&m_active));

  IConnectionPointContainer* container = nullptr;
  if (SUCCEEDED(m_browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(container->FindConnectionPoint(kIidWebBrowserEvents2, &point))) {
      IUnknown* identity = nullptr;
      m_browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
      if (identity) identity->Release();  // compared only, while the control lives
      m_sink = new BrowserEventSink(&m_events, identity);
      if (FAILED(point->Advise(static_cast<IDispatch*>(m_sink), &m_cookie))) m_cookie = 0;
      point->Release();
    }
    container->Release();
  }
  return true;
}

IDispatch* Win32Browser::EventSink() const { return m_sink; }

void Win32Browser::Shutdown() {
  if (m_sink) {
    m_sink->Detach();
    if (m_cookie && m_browser) {
      IConnectionPointContainer* container = nullptr;
      if (SUCCEEDED(m_browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
        IConnectionPoint* point = nullptr;
        if (SUCCEEDED(container->FindConnectionPoint(kIidWebBrowserEvents2, &point))) {
          point->Unadvise(m_cookie);
          point->Release();
        }
        container->Release();
      }
    }
    m_sink->Release();
    m_sink = nullptr;
    m_cookie = 0;
  }
  if (m_active) m_active->Release();
  m_active = nullptr;
  if (m_browser) {
    m_browser->Stop();
    m_browser->Release();
  }
  m_browser = nullptr;
  if (m_object) {
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object->Release();
  }
  m_object = nullptr;
  if (m_site) {
    m_site->Detach();
    m_site->Release();
  }
  m_site = nullptr;
  auto& live = LiveBrowsers();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void Win32Browser::DestroyWindow() {
  Shutdown();
  if (m_host) {
    SetWindowLongPtrW(m_host, GWLP_USERDATA, 0);
    ::DestroyWindow(m_host);
    m_host = nullptr;
  }
}

LRESULT CALLBACK Win32Browser::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* browser = reinterpret_cast<Win32Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (browser) {
    switch (message) {
      case WM_SIZE:
        browser->FitControl();
        return 0;
      case WM_DESTROY:
        // The parent went first: the control goes with its window.
        browser->Shutdown();
        browser->m_host = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Browser::FitControl() {
  if (!m_object || !m_host) return;
  RECT area{};
  GetClientRect(m_host, &area);
  IOleInPlaceObject* inPlace = nullptr;
  if (SUCCEEDED(m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
    inPlace->SetObjectRects(&area, &area);
    inPlace->Release();
  }
}

bool Win32Browser::TranslateAccelerator(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  for (Win32Browser* browser : LiveBrowsers()) {
    if (browser->m_active && browser->m_host && IsChild(browser->m_host, msg.hwnd) &&
        browser->m_active->TranslateAccelerator(&msg) == S_OK) {
      return true;
    }
  }
  return false;
}

void Win32Browser::Navigate(const std::string& url) {
  if (!m_browser) return;
  BSTR address = SysAllocString(Widen(url).c_str());
  VARIANT empty;
  VariantInit(&empty);
  m_browser->Navigate(address, &empty, &empty, &empty, &empty);
  SysFreeString(address);
}

void Win32Browser::Stop() {
  if (m_browser) m_browser->Stop();
}

int Win32Browser::ReadyState() const {
  READYSTATE state = READYSTATE_UNINITIALIZED;
  if (!m_browser || FAILED(m_browser->get_ReadyState(&state))) return READYSTATE_UNINITIALIZED;
  return static_cast<int>(state);
}

void Win32Browser::SetBackgroundColor(Color) {
  // The control has no such setting: it shows its own white until its first
  // document paints.
}

std::string Win32Browser::Title() const {
  // The document's own title, as the page's script sees it: empty when the
  // page has none (the control's location name would be its address then).
  IDispatch* document = nullptr;
  if (!m_browser || FAILED(m_browser->get_Document(&document)) || !document) return {};
  IHTMLDocument2* html = nullptr;
  BSTR name = nullptr;
  if (SUCCEEDED(document->QueryInterface(kIidHtmlDocument2, reinterpret_cast<void**>(&html))) && html) {
    if (FAILED(html->get_title(&name))) name = nullptr;
    html->Release();
  }
  document->Release();
  if (!name) return {};
  std::string title = Narrow(std::wstring_view(name, SysStringLen(name)));
  SysFreeString(name);
  return title;
}

bool Win32Browser::HasDocument() const {
  IDispatch* document = nullptr;
  if (!m_browser || FAILED(m_browser->get_Document(&document)) || !document) return false;
  document->Release();
  return true;
}

void Win32Browser::SetVisible(bool visible) {
  if (m_browser) m_browser->put_Visible(visible ? VARIANT_TRUE : VARIANT_FALSE);
  if (m_host) ShowWindow(m_host, visible ? SW_SHOW : SW_HIDE);
}

void Win32Browser::SetSilent(bool silent) {
  if (m_browser) m_browser->put_Silent(silent ? VARIANT_TRUE : VARIANT_FALSE);
}

bool Win32Browser::InstallHostChoices(const HostChoices& choices) {
  if (!m_site || !m_browser) return false;
  IDocHostUIHandler* handler = CreateHostUIHandler(choices);
  m_site->SetHostHandler(handler);
  handler->Release();  // the site's now
  // A document that exists already asked its host before the choices were
  // made; it is handed the site's handler, which follows later choices too.
  IDispatch* document = nullptr;
  if (SUCCEEDED(m_browser->get_Document(&document)) && document) {
    ICustomDoc* custom = nullptr;
    if (SUCCEEDED(document->QueryInterface(kIidCustomDoc, reinterpret_cast<void**>(&custom))) && custom) {
      custom->SetUIHandler(m_site->HostHandler());  // the document keeps its own reference
      custom->Release();
    }
    document->Release();
  }
  return true;
}

bool Win32Browser::SetUIHandler(DocHostUIHandler* handler) {
  if (!handler || !m_browser) return false;
  IDispatch* document = nullptr;
  if (FAILED(m_browser->get_Document(&document)) || !document) return false;
  ICustomDoc* custom = nullptr;
  if (FAILED(document->QueryInterface(kIidCustomDoc, reinterpret_cast<void**>(&custom))) || !custom) {
    document->Release();
    return false;
  }
  IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
  custom->SetUIHandler(adapter);  // the document keeps its own reference
  adapter->Release();
  custom->Release();
  document->Release();
  return true;
}

void Win32Browser::Move(const Rect& rect, bool repaint) {
  if (m_host) MoveWindow(m_host, rect.left, rect.top, rect.Width(), rect.Height(), repaint);
}

Rect Win32Browser::Placement() const {
  if (!m_host) return {};
  RECT rect{};
  GetWindowRect(m_host, &rect);
  MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace ui::win32
