#include "Document.h"

#include "Ids.h"
#include "Module.h"

namespace standin {

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

}  // namespace standin
