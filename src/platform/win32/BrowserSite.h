#pragma once

#include <mshtmhst.h>
#include <ole2.h>

#include "platform/win32/ComObject.h"

namespace ui::win32 {

class Win32Browser;

// The container side of the control: client site, in-place site and frame,
// and once the host has made its choices, the documents' host handler.
class BrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, RefCounted {
 public:
  explicit BrowserSite(Win32Browser* browser) : m_browser(browser), m_uiHandler(*this) {}
  ~BrowserSite() override { SetHostHandler(nullptr); }
  void Detach();
  // The engine asks the client site for a host handler as each document
  // starts, frames included, so choices made here reach every later
  // document; ICustomDoc reaches only the current one.
  // What the site answers for IDocHostUIHandler: the current choices.
  IDocHostUIHandler* HostHandler() { return &m_uiHandler; }
  void SetHostHandler(IDocHostUIHandler* handler);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return m_browser ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT rect) override;

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

    STDMETHODIMP ShowContextMenu(DWORD id, POINT* at, IUnknown* target, IDispatch* object) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target, IOleInPlaceFrame* frame,
                        IOleInPlaceUIWindow* document) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP OnDocWindowActivate(BOOL active) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL active) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** out) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR in, LPWSTR* out) override;
    STDMETHODIMP FilterDataObject(IDataObject* in, IDataObject** out) override;

   private:
    IDocHostUIHandler* Choices() const { return m_site.m_hostHandler; }
    BrowserSite& m_site;
  };

  Win32Browser* m_browser;
  IDocHostUIHandler* m_hostHandler = nullptr;
  UIHandlerPart m_uiHandler;
};

}  // namespace ui::win32
