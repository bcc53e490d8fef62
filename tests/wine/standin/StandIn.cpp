#include "StandIn.h"

#include <exdispid.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace standin {
namespace {

HINSTANCE g_module = nullptr;
LONG g_moduleReferences = 0;

constexpr wchar_t kViewClass[] = L"KQVStandInView";
constexpr wchar_t kCourierClass[] = L"KQVStandInCourier";
constexpr UINT kLoaded = WM_APP + 1;

struct Fetched {
  unsigned generation;
  std::wstring url;
  std::string body;
  bool ok;
};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// The page's <title>, as its text stands (no entities: the pages need none).
std::wstring TitleOf(const std::string& body) {
  std::string lower(body);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  const size_t open = lower.find("<title>");
  if (open == std::string::npos) return {};
  const size_t start = open + 7;
  const size_t end = lower.find("</title>", start);
  if (end == std::string::npos) return {};
  return Widen(body.substr(start, end - start));
}

// The whole body over WinINet; false when the address cannot be fetched.
bool Fetch(const std::wstring& url, std::string& body) {
  HINTERNET session = InternetOpenW(L"KQVStandIn", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) return false;
  HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_NO_UI | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  bool ok = request != nullptr;
  if (request) {
    char buffer[8192];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &read) && read) body.append(buffer, read);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return ok;
}

VARIANT DispatchArg(IDispatch* dispatch) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = dispatch;
  return value;
}

// A by-reference variant, as the real control passes the URL and the rest.
VARIANT ByRef(VARIANT* target) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&value) = target;
  return value;
}

LRESULT CALLBACK CourierProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kLoaded) {
    std::unique_ptr<Fetched> fetched(reinterpret_cast<Fetched*>(lParam));
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (browser) browser->OnLoaded(fetched->generation, fetched->url, fetched->body, fetched->ok);
    ModuleRelease();  // held by the fetch
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (browser) {
      browser->Paint(hwnd);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (!GetClassInfoExW(g_module, kViewClass, &windowClass)) {
    windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ViewProc;
    windowClass.hInstance = g_module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kViewClass;
    RegisterClassExW(&windowClass);
  }
  windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  if (!GetClassInfoExW(g_module, kCourierClass, &windowClass)) {
    windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = CourierProc;
    windowClass.hInstance = g_module;
    windowClass.lpszClassName = kCourierClass;
    RegisterClassExW(&windowClass);
  }
}

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&g_moduleReferences); }
void ModuleRelease() { InterlockedDecrement(&g_moduleReferences); }

// --- Document ---------------------------------------------------------------

Document::Document(std::wstring title) : m_title(std::move(title)) { ModuleAddRef(); }

Document::~Document() {
  if (m_handler) m_handler->Release();
  ModuleRelease();
}

STDMETHODIMP Document::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIidHtmlDocument) ||
      IsEqualIID(riid, kIidHtmlDocument2)) {
    *object = static_cast<IHTMLDocument2*>(this);
  } else if (IsEqualIID(riid, kIidCustomDoc)) {
    *object = static_cast<ICustomDoc*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) Document::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }

STDMETHODIMP_(ULONG) Document::Release() {
  const LONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP Document::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

STDMETHODIMP Document::get_title(BSTR* title) {
  if (!title) return E_POINTER;
  *title = SysAllocStringLen(m_title.data(), static_cast<UINT>(m_title.size()));
  return *title ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Document::put_title(BSTR title) {
  m_title.assign(title ? title : L"", title ? SysStringLen(title) : 0);
  return S_OK;
}

STDMETHODIMP Document::SetUIHandler(IDocHostUIHandler* handler) {
  if (handler) handler->AddRef();
  if (m_handler) m_handler->Release();
  m_handler = handler;
  return S_OK;
}

// --- EventPoint -------------------------------------------------------------

EventPoint::~EventPoint() {
  for (const Connection& connection : m_connections) connection.sink->Release();
}

STDMETHODIMP EventPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventPoint::AddRef() { return m_browser.AddRef(); }
STDMETHODIMP_(ULONG) EventPoint::Release() { return m_browser.Release(); }

STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = kIidWebBrowserEvents2;
  return S_OK;
}

STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  return m_browser.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container));
}

STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  // The real control asks the sink for the events interface, then IDispatch.
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(kIidWebBrowserEvents2, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  m_connections.push_back({m_nextCookie, dispatch});
  *cookie = m_nextCookie++;
  return S_OK;
}

STDMETHODIMP EventPoint::Unadvise(DWORD cookie) {
  auto found = std::find_if(m_connections.begin(), m_connections.end(),
                            [cookie](const Connection& connection) { return connection.cookie == cookie; });
  if (found == m_connections.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->sink;
  m_connections.erase(found);
  sink->Release();
  return S_OK;
}

STDMETHODIMP EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

void EventPoint::Raise(DISPID id, std::vector<VARIANT> arguments) {
  std::reverse(arguments.begin(), arguments.end());  // automation passes them last-first
  DISPPARAMS params{};
  params.rgvarg = arguments.data();
  params.cArgs = static_cast<UINT>(arguments.size());
  // A sink may unadvise while it runs: call a copy, each held.
  std::vector<IDispatch*> sinks;
  for (const Connection& connection : m_connections) {
    connection.sink->AddRef();
    sinks.push_back(connection.sink);
  }
  for (IDispatch* sink : sinks) {
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    sink->Release();
  }
}

// --- Browser ----------------------------------------------------------------

Browser::Browser() : m_events(*this) {
  ModuleAddRef();
  RegisterClasses();
  m_courier = CreateWindowExW(0, kCourierClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  if (m_courier) SetWindowLongPtrW(m_courier, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Browser::~Browser() {
  SetDocument(nullptr);
  if (m_site) m_site->Release();
  if (m_view) DestroyWindow(m_view);
  // Fetches still under way post to a window that is gone; their results are dropped.
  if (m_courier) DestroyWindow(m_courier);
  ModuleRelease();
}

STDMETHODIMP Browser::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject)) {
    *object = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIidWebBrowser) ||
             IsEqualIID(riid, kIidWebBrowserApp) || IsEqualIID(riid, kIidWebBrowser2)) {
    *object = static_cast<IWebBrowser2*>(this);
  } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject)) {
    *object = static_cast<IOleInPlaceObject*>(this);
  } else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
    *object = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    *object = static_cast<IConnectionPointContainer*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) Browser::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }

STDMETHODIMP_(ULONG) Browser::Release() {
  const LONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP Browser::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

STDMETHODIMP Browser::SetClientSite(IOleClientSite* site) {
  if (site) site->AddRef();
  if (m_site) m_site->Release();
  m_site = site;
  return S_OK;
}

STDMETHODIMP Browser::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = m_site;
  if (m_site) m_site->AddRef();
  return S_OK;
}

STDMETHODIMP Browser::Close(DWORD) {
  Stop();
  InPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP Browser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
  if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW && verb != OLEIVERB_UIACTIVATE) return E_NOTIMPL;
  if (m_view) return S_OK;
  if (site && site != m_site) SetClientSite(site);
  IOleInPlaceSite* inPlace = nullptr;
  if (!m_site || FAILED(m_site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)))) {
    return E_UNEXPECTED;
  }
  HRESULT result = inPlace->CanInPlaceActivate();
  if (result == S_OK) {
    if (!parent) inPlace->GetWindow(&parent);
    RECT area = rect ? *rect : RECT{};
    inPlace->OnInPlaceActivate();
    m_view = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, area.left, area.top,
                             area.right - area.left, area.bottom - area.top, parent, nullptr, g_module, nullptr);
    if (m_view) SetWindowLongPtrW(m_view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    result = m_view ? S_OK : E_FAIL;
  } else {
    result = OLEOBJ_S_CANNOT_DOVERB_NOW;
  }
  inPlace->Release();
  return result;
}

STDMETHODIMP Browser::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kClsidWebBrowser;
  return S_OK;
}

STDMETHODIMP Browser::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = m_view;
  return m_view ? S_OK : E_FAIL;
}

STDMETHODIMP Browser::InPlaceDeactivate() {
  if (!m_view) return S_OK;
  DestroyWindow(m_view);
  m_view = nullptr;
  IOleInPlaceSite* inPlace = nullptr;
  if (m_site && SUCCEEDED(m_site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)))) {
    inPlace->OnInPlaceDeactivate();
    inPlace->Release();
  }
  return S_OK;
}

STDMETHODIMP Browser::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_INVALIDARG;
  if (m_view) {
    MoveWindow(m_view, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
  }
  return S_OK;
}

STDMETHODIMP Browser::TranslateAccelerator(LPMSG msg) {
  if (!msg) return E_INVALIDARG;
  // The host's handler sees the document's keys first.
  IDocHostUIHandler* handler = m_document ? HostHandler() : nullptr;
  if (!handler) return S_FALSE;
  const HRESULT result = handler->TranslateAccelerator(msg, nullptr, 0);
  handler->Release();
  return result == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP Browser::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Browser::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(riid, kIidWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
  *point = &m_events;
  m_events.AddRef();
  return S_OK;
}

STDMETHODIMP Browser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (!url) return E_INVALIDARG;
  const std::wstring address(url, SysStringLen(url));

  // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
  VARIANT urlValue, flags, frame, postData, headers;
  for (VARIANT* value : {&urlValue, &flags, &frame, &postData, &headers}) VariantInit(value);
  V_VT(&urlValue) = VT_BSTR;
  V_BSTR(&urlValue) = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT cancelArg;
  VariantInit(&cancelArg);
  V_VT(&cancelArg) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&cancelArg) = &cancel;
  AddRef();  // a handler may let go of the control
  m_events.Raise(DISPID_BEFORENAVIGATE2, {DispatchArg(static_cast<IWebBrowser2*>(this)), ByRef(&urlValue),
                                          ByRef(&flags), ByRef(&frame), ByRef(&postData), ByRef(&headers), cancelArg});
  VariantClear(&urlValue);
  if (cancel != VARIANT_FALSE) {
    Release();
    return S_OK;  // nothing is requested
  }

  const unsigned generation = ++m_generation;
  m_readyState = READYSTATE_LOADING;
  HWND courier = m_courier;
  ModuleAddRef();  // the DLL stays while the fetch runs
  std::thread([generation, address, courier] {
    auto fetched = std::make_unique<Fetched>(Fetched{generation, address, {}, false});
    fetched->ok = Fetch(address, fetched->body);
    if (PostMessageW(courier, kLoaded, 0, reinterpret_cast<LPARAM>(fetched.get()))) {
      fetched.release();
    } else {
      ModuleRelease();
    }
  }).detach();
  Release();
  return S_OK;
}

STDMETHODIMP Browser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* postData, VARIANT* headers) {
  while (url && V_VT(url) == (VT_BYREF | VT_VARIANT)) url = V_VARIANTREF(url);
  if (!url || V_VT(url) != VT_BSTR) return E_INVALIDARG;
  return Navigate(V_BSTR(url), flags, frame, postData, headers);
}

void Browser::OnLoaded(unsigned generation, const std::wstring& url, const std::string& body, bool ok) {
  if (generation != m_generation) return;  // stopped, or navigated elsewhere since
  AddRef();
  // A page that could not be fetched still completes, empty, as the real
  // control shows its error page.
  Document* document = new Document(ok ? TitleOf(body) : std::wstring());
  SetDocument(document);
  document->Release();
  m_location = url;
  m_readyState = READYSTATE_INTERACTIVE;
  if (IDocHostUIHandler* handler = HostHandler()) {
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    handler->GetHostInfo(&info);
    handler->Release();
  }
  if (m_view) InvalidateRect(m_view, nullptr, TRUE);

  VARIANT urlValue;
  VariantInit(&urlValue);
  V_VT(&urlValue) = VT_BSTR;
  V_BSTR(&urlValue) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  m_events.Raise(DISPID_NAVIGATECOMPLETE2, {DispatchArg(static_cast<IWebBrowser2*>(this)), ByRef(&urlValue)});
  if (generation == m_generation) {
    m_readyState = READYSTATE_COMPLETE;
    m_events.Raise(DISPID_DOCUMENTCOMPLETE, {DispatchArg(static_cast<IWebBrowser2*>(this)), ByRef(&urlValue)});
  }
  VariantClear(&urlValue);
  Release();
}

void Browser::Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (m_document) {
    RECT area;
    GetClientRect(window, &area);
    DrawTextW(dc, m_document->Title().c_str(), -1, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
  }
  EndPaint(window, &paint);
}

STDMETHODIMP Browser::Stop() {
  ++m_generation;
  if (m_readyState == READYSTATE_LOADING) m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
  return S_OK;
}

STDMETHODIMP Browser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = m_document ? static_cast<IHTMLDocument2*>(m_document) : nullptr;
  if (m_document) m_document->AddRef();
  return S_OK;
}

STDMETHODIMP Browser::get_ReadyState(READYSTATE* state) {
  if (!state) return E_POINTER;
  *state = m_readyState;
  return S_OK;
}

STDMETHODIMP Browser::get_Busy(VARIANT_BOOL* busy) {
  if (!busy) return E_POINTER;
  *busy = m_readyState == READYSTATE_LOADING ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP Browser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = SysAllocStringLen(m_location.data(), static_cast<UINT>(m_location.size()));
  return S_OK;
}

STDMETHODIMP Browser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  const std::wstring& title = m_document && !m_document->Title().empty() ? m_document->Title() : m_location;
  *name = SysAllocStringLen(title.data(), static_cast<UINT>(title.size()));
  return S_OK;
}

STDMETHODIMP Browser::get_Visible(VARIANT_BOOL* visible) {
  if (!visible) return E_POINTER;
  *visible = m_visible;
  return S_OK;
}

STDMETHODIMP Browser::put_Visible(VARIANT_BOOL visible) {
  m_visible = visible;
  return S_OK;
}

STDMETHODIMP Browser::get_Silent(VARIANT_BOOL* silent) {
  if (!silent) return E_POINTER;
  *silent = m_silent;
  return S_OK;
}

STDMETHODIMP Browser::put_Silent(VARIANT_BOOL silent) {
  m_silent = silent;
  return S_OK;
}

IDocHostUIHandler* Browser::HostHandler() {
  IDocHostUIHandler* handler = m_document ? m_document->Handler() : nullptr;
  if (handler) {
    handler->AddRef();
    return handler;
  }
  if (m_site && SUCCEEDED(m_site->QueryInterface(kIidDocHostUIHandler, reinterpret_cast<void**>(&handler)))) {
    return handler;
  }
  return nullptr;
}

void Browser::SetDocument(Document* document) {
  if (document) document->AddRef();
  if (m_document) m_document->Release();
  m_document = document;
}

// --- Class factory and exports ------------------------------------------------

namespace {

class Factory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ModuleAddRef();
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    ModuleRelease();
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Browser* browser = new Browser();
    const HRESULT result = browser->QueryInterface(riid, object);
    browser->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

}  // namespace standin

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    standin::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, standin::kClsidWebBrowser)) return CLASS_E_CLASSNOTAVAILABLE;
  return standin::g_factory.QueryInterface(riid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return standin::g_moduleReferences == 0 ? S_OK : S_FALSE; }
