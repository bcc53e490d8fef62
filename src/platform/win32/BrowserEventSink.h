#pragma once

#include "platform/win32/ComObject.h"
#include "ui/Browser.h"

namespace ui::win32 {

// Receives the control's events and hands them to the browser's events.
class BrowserEventSink : public DispatchObject {
 public:
  // browser: the control's own identity, to tell its events from its frames'.
  BrowserEventSink(BrowserEvents* events, IUnknown* browser);
  void Detach() { m_events = nullptr; }

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  // The event's pDisp is the control itself for the page, a frame otherwise.
  bool IsTopLevel(const VARIANT* dispatch) const;
  IUnknown* m_browser;
  BrowserEvents* m_events;
};

}  // namespace ui::win32
