#pragma once
// A frame of the page as the host's event sink sees it: the pDisp of the
// frame's events, an object of its own (so never the control's identity),
// with its document and address.

#include <windows.h>
// after windows.h
#include <exdisp.h>

#include <string>

#include "Document.h"
#include "WebBrowserStubs.h"

namespace standin {

class FrameObject final : public WebBrowserStubs {
 public:
  FrameObject();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  STDMETHODIMP get_Document(IDispatch** document) override;
  STDMETHODIMP get_LocationURL(BSTR* url) override;
  STDMETHODIMP get_ReadyState(READYSTATE* state) override;

  void Show(Document* document, const std::wstring& url);  // null: loading

 private:
  ~FrameObject();
  LONG m_references = 1;
  Document* m_document = nullptr;
  std::wstring m_url;
};

}  // namespace standin
