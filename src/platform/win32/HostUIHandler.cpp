#include "platform/win32/HostUIHandler.h"

#include <oleauto.h>

#include <algorithm>
#include <map>
#include <new>
#include <vector>

#include "platform/win32/ComObject.h"
#include "platform/win32/Text.h"

namespace ui::win32 {

std::string VariantText(const VARIANT* value) {
  while (value && V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
  if (!value) return {};
  if (V_VT(value) == VT_BSTR) return Narrow(std::wstring_view(V_BSTR(value), SysStringLen(V_BSTR(value))));
  if (V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value)) {
    BSTR text = *V_BSTRREF(value);
    return Narrow(std::wstring_view(text, SysStringLen(text)));
  }
  VARIANT converted;
  VariantInit(&converted);
  std::string text;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_BSTR))) {
    text = Narrow(std::wstring_view(V_BSTR(&converted), SysStringLen(V_BSTR(&converted))));
  }
  VariantClear(&converted);
  return text;
}

namespace {

constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

// window.external: the host's named methods, called with string arguments.
class ExternalObject : public DispatchObject {
 public:
  explicit ExternalObject(std::map<std::string, ExternalMethod> methods) : m_methods(std::move(methods)) {
    for (const auto& entry : m_methods) m_names.push_back(entry.first);
  }

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count && (!names || !ids)) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      // Only the method name itself is looked up; named arguments are not.
      const int index = i == 0 && names[i] ? IndexOf(names[i]) : -1;
      if (index >= 0) {
        ids[i] = static_cast<DISPID>(index) + 1;
      } else {
        ids[i] = DISPID_UNKNOWN;
        result = DISP_E_UNKNOWNNAME;
      }
    }
    return result;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (id < 1 || static_cast<size_t>(id) > m_names.size()) return DISP_E_MEMBERNOTFOUND;
    // Members are methods only. A script that reads one as a property
    // (`if (window.external.getNewMsg)`) asks with DISPATCH_PROPERTYGET
    // alone and must not run it: automation finds no property get for a
    // method, and neither a put.
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    const std::string& name = m_names[static_cast<size_t>(id) - 1];
    // Script arguments come last-first.
    std::vector<std::string> args;
    for (UINT i = params ? params->cArgs : 0; i > 0; --i) args.push_back(VariantText(&params->rgvarg[i - 1]));
    const ExternalMethod& method = m_methods.at(name);
    const std::string answer = method ? method(args) : std::string();
    if (result) {
      VariantInit(result);
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = NewBstr(answer);
      if (!V_BSTR(result)) {
        V_VT(result) = VT_EMPTY;
        return E_OUTOFMEMORY;
      }
    }
    return S_OK;
  }

 private:
  // Automation looks names up without regard to case; the exact spelling
  // wins when two names differ only in case.
  int IndexOf(const wchar_t* name) const {
    const std::string exact = Narrow(name);
    auto found = std::find(m_names.begin(), m_names.end(), exact);
    if (found != m_names.end()) return static_cast<int>(found - m_names.begin());
    for (size_t i = 0; i < m_names.size(); ++i) {
      const std::wstring candidate = Widen(m_names[i]);
      if (CompareStringOrdinal(candidate.c_str(), static_cast<int>(candidate.size()), name, -1, TRUE) == CSTR_EQUAL) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  // A new string for every call, which the script engine frees; null when
  // there is no memory for it.
  static BSTR NewBstr(const std::string& text) {
    try {
      const std::wstring wide = Widen(text);
      return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

  std::map<std::string, ExternalMethod> m_methods;
  std::vector<std::string> m_names;
};

// The document's host decisions: context menu, border, scroll bars and the
// external object.
class HostUIHandler : public IDocHostUIHandler, RefCounted {
 public:
  explicit HostUIHandler(const HostChoices& choices) : m_choices(choices) {
    if (!choices.external.empty()) m_external = new ExternalObject(choices.external);
  }
  ~HostUIHandler() override {
    if (m_external) m_external->Release();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidDocHostUIHandler)) {
      *object = static_cast<IDocHostUIHandler*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    // S_OK: the host has shown its menu, which is none.
    return m_choices.contextMenu ? S_FALSE : S_OK;
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags =
        (m_choices.border3d ? 0 : DOCHOSTUIFLAG_NO3DBORDER) | (m_choices.scrollBars ? 0 : DOCHOSTUIFLAG_SCROLL_NO);
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_FALSE;  // the browser shows its own
  }
  STDMETHODIMP HideUI() override { return E_NOTIMPL; }
  STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
  STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    if (!external) return E_POINTER;
    *external = m_external;
    if (!m_external) return E_NOTIMPL;
    m_external->AddRef();
    return S_OK;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

 private:
  HostChoices m_choices;
  ExternalObject* m_external = nullptr;
};

}  // namespace

IDocHostUIHandler* CreateHostUIHandler(const HostChoices& choices) { return new HostUIHandler(choices); }

}  // namespace ui::win32
