#pragma once
// Every method of IOleObject answering E_NOTIMPL.
// Written by make_stubs.py from mingw-w64's oleidl.h.

#include <oleidl.h>

namespace standin {

class OleObjectStubs : public IOleObject {
 public:
  STDMETHODIMP SetClientSite(IOleClientSite *) override { return E_NOTIMPL; }
  STDMETHODIMP GetClientSite(IOleClientSite **) override { return E_NOTIMPL; }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP Close(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetMoniker(DWORD, IMoniker *) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker **) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject *, WINBOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject **) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite *, LONG, HWND, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB **) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return E_NOTIMPL; }
  STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
  STDMETHODIMP GetUserClassID(CLSID *) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR *) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL *) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL *) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink *, DWORD *) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA **) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD *) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE *) override { return E_NOTIMPL; }
};

}  // namespace standin
