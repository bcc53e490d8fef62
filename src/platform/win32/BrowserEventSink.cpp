#include "platform/win32/BrowserEventSink.h"

#include <exdispid.h>

#include "platform/win32/HostUIHandler.h"
#include "platform/win32/WebBrowserIds.h"

namespace ui::win32 {

BrowserEventSink::BrowserEventSink(BrowserEvents* events, IUnknown* browser)
    : DispatchObject(kIidWebBrowserEvents2), m_browser(browser), m_events(events) {}

STDMETHODIMP BrowserEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
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

bool BrowserEventSink::IsTopLevel(const VARIANT* dispatch) const {
  if (!dispatch || V_VT(dispatch) != VT_DISPATCH || !V_DISPATCH(dispatch) || !m_browser) return false;
  IUnknown* identity = nullptr;
  if (FAILED(V_DISPATCH(dispatch)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return false;
  identity->Release();
  return identity == m_browser;
}

}  // namespace ui::win32
