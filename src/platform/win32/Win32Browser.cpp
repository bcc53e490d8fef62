#include "platform/win32/Win32Browser.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/BrowserEventSink.h"
#include "platform/win32/BrowserSite.h"
#include "platform/win32/DocHostUIAdapter.h"
#include "platform/win32/HostUIHandler.h"
#include "platform/win32/Text.h"
#include "platform/win32/WebBrowserIds.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kHostClass[] = L"KQVBrowserHost";

std::vector<Win32Browser*>& LiveBrowsers() {
  static std::vector<Win32Browser*> browsers;
  return browsers;
}

}  // namespace

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
  if (!handler || !m_browser || !m_site) return false;
  IDispatch* document = nullptr;
  if (FAILED(m_browser->get_Document(&document)) || !document) return false;
  ICustomDoc* custom = nullptr;
  if (FAILED(document->QueryInterface(kIidCustomDoc, reinterpret_cast<void**>(&custom))) || !custom) {
    document->Release();
    return false;
  }
  // The site keeps it for every later document too (a document's own
  // handler goes with that document); this one gets the site's part and
  // keeps its own reference to it.
  IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
  m_site->SetHostHandler(adapter);
  adapter->Release();
  custom->SetUIHandler(m_site->HostHandler());
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
