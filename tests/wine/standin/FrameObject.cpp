#include "FrameObject.h"

#include "Ids.h"
#include "Module.h"

namespace standin {

FrameObject::FrameObject() { ModuleAddRef(); }

FrameObject::~FrameObject() {
  if (m_document) m_document->Release();
  ModuleRelease();
}

STDMETHODIMP FrameObject::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIidWebBrowser) ||
      IsEqualIID(riid, kIidWebBrowserApp) || IsEqualIID(riid, kIidWebBrowser2)) {
    *object = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FrameObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }

STDMETHODIMP_(ULONG) FrameObject::Release() {
  const LONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP FrameObject::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

STDMETHODIMP FrameObject::get_Document(IDispatch** document) {
  if (!document) return E_POINTER;
  *document = m_document ? static_cast<IHTMLDocument2*>(m_document) : nullptr;
  if (m_document) m_document->AddRef();
  return S_OK;
}

STDMETHODIMP FrameObject::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = SysAllocStringLen(m_url.data(), static_cast<UINT>(m_url.size()));
  return S_OK;
}

STDMETHODIMP FrameObject::get_ReadyState(READYSTATE* state) {
  if (!state) return E_POINTER;
  *state = m_document ? READYSTATE_COMPLETE : READYSTATE_LOADING;
  return S_OK;
}

void FrameObject::Show(Document* document, const std::wstring& url) {
  if (document) document->AddRef();
  if (m_document) m_document->Release();
  m_document = document;
  m_url = url;
}

}  // namespace standin
