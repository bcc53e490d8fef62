// The control's COM side: identity, siting and in-place activation, the
// automation properties and the event point.
#include "Browser.h"

#include <olectl.h>

#include "BrowserWindows.h"
#include "Ids.h"
#include "Module.h"
#include "Text.h"

namespace standin {

Page::~Page() {
  if (document) document->Release();
}

Frame::~Frame() {
  if (object) object->Release();
}

Browser::Browser() : m_events(*this) {
  ModuleAddRef();
  m_courier = CreateCourier(this);
}

Browser::~Browser() {
  CancelJobs(true);
  DropTop();
  if (m_site) m_site->Release();
  if (m_view) DestroyWindow(m_view);
  // Jobs still running post to a window that is gone; they end by themselves.
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
  CancelJobs(true);
  DropTop();
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
    m_view = CreateView(this, parent, area);
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
  IDocHostUIHandler* handler = m_top ? HostHandler(m_top.get()) : nullptr;
  if (!handler) return S_FALSE;
  const HRESULT result = handler->TranslateAccelerator(msg, nullptr, 0);
  handler->Release();
  if (m_top && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) {
    Report(m_top.get(), "key", {{"vk", std::to_string(msg->wParam)}, {"hr", HexResult(result)}});
  }
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
  AddRef();  // a handler may let go of the control
  Go(-1, Narrow(std::wstring(url, SysStringLen(url))), {});
  Release();
  return S_OK;
}

STDMETHODIMP Browser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* postData, VARIANT* headers) {
  while (url && V_VT(url) == (VT_BYREF | VT_VARIANT)) url = V_VARIANTREF(url);
  if (!url || V_VT(url) != VT_BSTR) return E_INVALIDARG;
  return Navigate(V_BSTR(url), flags, frame, postData, headers);
}

STDMETHODIMP Browser::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  Document* current = m_top ? m_top->document : nullptr;
  *document = current ? static_cast<IHTMLDocument2*>(current) : nullptr;
  if (current) current->AddRef();
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
  const std::wstring location = m_top ? Widen(m_top->url) : std::wstring();
  *url = SysAllocStringLen(location.data(), static_cast<UINT>(location.size()));
  return S_OK;
}

STDMETHODIMP Browser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  std::wstring title = m_top ? m_top->document->Title() : std::wstring();
  if (title.empty() && m_top) title = Widen(m_top->url);
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

}  // namespace standin
