#include "platform/win32/BrowserSite.h"

#include "platform/win32/WebBrowserIds.h"
#include "platform/win32/Win32Browser.h"

namespace ui::win32 {

void BrowserSite::Detach() {
  m_browser = nullptr;
  // The choices' script methods may belong to the window that is going.
  SetHostHandler(nullptr);
}

void BrowserSite::SetHostHandler(IDocHostUIHandler* handler) {
  if (handler) handler->AddRef();
  if (m_hostHandler) m_hostHandler->Release();
  m_hostHandler = handler;
}

STDMETHODIMP BrowserSite::QueryInterface(REFIID riid, void** object) {
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

STDMETHODIMP BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP BrowserSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = m_browser ? m_browser->m_host : nullptr;
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                           LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
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

STDMETHODIMP BrowserSite::OnPosRectChange(LPCRECT rect) {
  if (!m_browser || !m_browser->m_object || !rect) return S_OK;
  IOleInPlaceObject* inPlace = nullptr;
  if (SUCCEEDED(m_browser->m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
    inPlace->SetObjectRects(rect, rect);
    inPlace->Release();
  }
  return S_OK;
}

STDMETHODIMP BrowserSite::UIHandlerPart::ShowContextMenu(DWORD id, POINT* at, IUnknown* target, IDispatch* object) {
  return Choices() ? Choices()->ShowContextMenu(id, at, target, object) : S_FALSE;
}

STDMETHODIMP BrowserSite::UIHandlerPart::GetHostInfo(DOCHOSTUIINFO* info) {
  return Choices() ? Choices()->GetHostInfo(info) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                                                IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) {
  return Choices() ? Choices()->ShowUI(id, active, target, frame, document) : S_FALSE;
}

STDMETHODIMP BrowserSite::UIHandlerPart::HideUI() { return Choices() ? Choices()->HideUI() : E_NOTIMPL; }

STDMETHODIMP BrowserSite::UIHandlerPart::UpdateUI() { return Choices() ? Choices()->UpdateUI() : E_NOTIMPL; }

STDMETHODIMP BrowserSite::UIHandlerPart::EnableModeless(BOOL enable) {
  return Choices() ? Choices()->EnableModeless(enable) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::OnDocWindowActivate(BOOL active) {
  return Choices() ? Choices()->OnDocWindowActivate(active) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::OnFrameWindowActivate(BOOL active) {
  return Choices() ? Choices()->OnFrameWindowActivate(active) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) {
  return Choices() ? Choices()->ResizeBorder(border, window, frame) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) {
  return Choices() ? Choices()->TranslateAccelerator(msg, group, command) : S_FALSE;
}

STDMETHODIMP BrowserSite::UIHandlerPart::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
  if (Choices()) return Choices()->GetOptionKeyPath(key, reserved);
  if (key) *key = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::GetDropTarget(IDropTarget* target, IDropTarget** out) {
  if (Choices()) return Choices()->GetDropTarget(target, out);
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::GetExternal(IDispatch** external) {
  if (Choices()) return Choices()->GetExternal(external);
  if (!external) return E_POINTER;
  *external = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::UIHandlerPart::TranslateUrl(DWORD translate, LPWSTR in, LPWSTR* out) {
  if (Choices()) return Choices()->TranslateUrl(translate, in, out);
  if (out) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP BrowserSite::UIHandlerPart::FilterDataObject(IDataObject* in, IDataObject** out) {
  if (Choices()) return Choices()->FilterDataObject(in, out);
  if (out) *out = nullptr;
  return S_FALSE;
}

}  // namespace ui::win32
