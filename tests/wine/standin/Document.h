#pragma once
// A loaded page as the host sees it: its title, and the host handler it was
// given through ICustomDoc (which wins over the site's).

#include <windows.h>
// after windows.h
#include <mshtmhst.h>
#include <mshtml.h>

#include <string>

#include "HtmlDocumentStubs.h"

namespace standin {

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

}  // namespace standin
