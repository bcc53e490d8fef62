#pragma once
// The stand-in control's objects: the browser (the control itself), its
// event point and its document.

#include <windows.h>
// after windows.h
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>

#include <string>
#include <vector>

#include "HtmlDocumentStubs.h"
#include "OleObjectStubs.h"
#include "WebBrowserStubs.h"
#include "platform/win32/WebBrowserIds.h"

namespace standin {

// The program's own spelling of the identities both sides must agree on,
// and the others only the control answers to.
using ui::win32::kClsidWebBrowser;
using ui::win32::kIidCustomDoc;
using ui::win32::kIidDocHostUIHandler;
using ui::win32::kIidHtmlDocument2;
using ui::win32::kIidWebBrowser2;
using ui::win32::kIidWebBrowserEvents2;
inline constexpr IID kIidWebBrowser = {0xEAB22AC1, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
inline constexpr IID kIidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidHtmlDocument = {0x626FC520, 0xA41E, 0x11CF, {0xA7, 0x31, 0x00, 0xA0, 0xC9, 0x08, 0x26, 0x37}};

// Objects alive or locks held, for DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();

// A loaded page: its title, and the host handler it was given through
// ICustomDoc (which wins over the site's).
class Document final : public HtmlDocumentStubs, public ICustomDoc {
 public:
  explicit Document(std::wstring title);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP get_title(BSTR* title) override;
  STDMETHODIMP put_title(BSTR title) override;
  STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override;

  const std::wstring& Title() const { return m_title; }
  IDocHostUIHandler* Handler() const { return m_handler; }

 private:
  ~Document();
  LONG m_references = 1;
  std::wstring m_title;
  IDocHostUIHandler* m_handler = nullptr;
};

class Browser;

// DWebBrowserEvents2's connection point; a part of the browser.
class EventPoint : public IConnectionPoint {
 public:
  explicit EventPoint(Browser& browser) : m_browser(browser) {}
  ~EventPoint();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  // Invokes every sink; arguments first-to-last, as the event lists them.
  void Raise(DISPID id, std::vector<VARIANT> arguments);

 private:
  struct Connection {
    DWORD cookie;
    IDispatch* sink;
  };
  Browser& m_browser;
  std::vector<Connection> m_connections;
  DWORD m_nextCookie = 1;
};

// The control: an OLE object activated in place in the host's window, the
// browser's automation interface and its events.
class Browser final : public OleObjectStubs,
                      public WebBrowserStubs,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IConnectionPointContainer {
 public:
  Browser();

  // IUnknown, shared by every interface.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch of IWebBrowser2: no type information; events carry the browser.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IWebBrowser2
  STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  STDMETHODIMP Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP get_Document(IDispatch** document) override;
  STDMETHODIMP get_ReadyState(READYSTATE* state) override;
  STDMETHODIMP get_Busy(VARIANT_BOOL* busy) override;
  STDMETHODIMP get_LocationURL(BSTR* url) override;
  STDMETHODIMP get_LocationName(BSTR* name) override;
  STDMETHODIMP get_Visible(VARIANT_BOOL* visible) override;
  STDMETHODIMP put_Visible(VARIANT_BOOL visible) override;
  STDMETHODIMP get_Silent(VARIANT_BOOL* silent) override;
  STDMETHODIMP put_Silent(VARIANT_BOOL silent) override;

  // A fetch finished on its thread (posted to the browser's thread).
  void OnLoaded(unsigned generation, const std::wstring& url, const std::string& body, bool ok);
  void Paint(HWND window);

 private:
  ~Browser();
  IDocHostUIHandler* HostHandler();  // the document's, else the site's; a new reference or null
  void SetDocument(Document* document);

  LONG m_references = 1;
  EventPoint m_events;
  IOleClientSite* m_site = nullptr;
  HWND m_view = nullptr;     // the in-place window in the host
  HWND m_courier = nullptr;  // message-only: fetch results come back here
  READYSTATE m_readyState = READYSTATE_UNINITIALIZED;
  Document* m_document = nullptr;
  std::wstring m_location;
  unsigned m_generation = 0;  // a later navigation or Stop drops earlier fetches
  VARIANT_BOOL m_visible = VARIANT_TRUE;
  VARIANT_BOOL m_silent = VARIANT_FALSE;
};

}  // namespace standin
