#pragma once
// The control: an OLE object activated in place in the host's window, the
// browser's automation interface, its events, and the pages it loads and
// whose scripts it follows (SCRIPT.md).

#include <windows.h>
// after windows.h
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Document.h"
#include "EventPoint.h"
#include "FrameObject.h"
#include "Job.h"
#include "OleObjectStubs.h"
#include "PageScript.h"
#include "Reporter.h"
#include "WebBrowserStubs.h"

namespace standin {

// A document on show, the top-level page's or a frame's.
struct Page {
  unsigned id = 0;
  int target = -1;  // -1: the top-level page; else the frame's index
  Document* document = nullptr;
  std::string url;
  std::string reportUrl;
  PageScript script;
  struct Poll {
    const Instruction* instruction;
    unsigned seen = 0;
    bool asking = false;
  };
  std::vector<Poll> polls;
  ~Page();
};

// A frame of the top-level page: its identity in events and its document.
struct Frame {
  FrameObject* object = nullptr;
  std::string url;             // its first address, from the page's script
  std::unique_ptr<Page> page;  // null until its document is in
  unsigned job = 0;            // the navigation it waits for
  ~Frame();
};

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

  // From the control's windows (BrowserWindows.cpp).
  void OnJobDone(unsigned id);
  void OnTimer(UINT_PTR id);
  void OnClick(int x, int y);  // a left click, pressed and let go in the view
  void OnContextMenu(POINT screen);
  void Paint(HWND window);

 private:
  ~Browser();
  // Loading (BrowserLoad.cpp).
  bool Go(int target, const std::string& url, const std::string& postBody);  // false: cancelled
  void StartLoad(int target, const std::string& url, const std::string& postBody);
  void Settled(int target);  // a navigation ended without a document
  void Commit(int target, const std::string& url, const std::shared_ptr<Job>& job);
  void NextFrame();
  void CompleteTop();
  void RunScript(unsigned pageId);
  void StartTimer(Page& page, const Instruction& instruction, size_t poll);
  void KillTimersOf(unsigned pageId);
  void OnPollAnswer(Job& job);
  void CancelJobs(bool polls);
  void DropTop();
  Page* PageById(unsigned id);
  IDispatch* Identity(int target);  // the events' pDisp, not added to
  // What a page's script does and says (BrowserScript.cpp).
  void Report(const Page* page, const std::string& event, ReportValues values);
  void ReportBefore(int target, const std::string& url, bool cancel);
  IDocHostUIHandler* HostHandler(const Page* page);  // a new reference or null
  void AskHostInfo(Page& page);
  void ReadOrCall(Page& page, const Instruction& instruction, const std::vector<std::string>& args);
  Page* PageAt(int x, int y, const Instruction** hit);  // the page shown there, and what was hit

  LONG m_references = 1;
  EventPoint m_events;
  Reporter m_reporter;
  IOleClientSite* m_site = nullptr;
  HWND m_view = nullptr;     // the in-place window in the host
  HWND m_courier = nullptr;  // message-only: job results and timers come here
  // A control that has loaded nothing is at rest, as the real one reports
  // itself once created (the launcher waits for that before its first page).
  READYSTATE m_readyState = READYSTATE_COMPLETE;
  std::unique_ptr<Page> m_top;
  std::vector<std::unique_ptr<Frame>> m_frames;  // the top-level page's
  size_t m_framesStarted = 0;                    // frames begun in the page's first load
  bool m_topWaiting = false;                     // the page's DocumentComplete waits for its frames
  std::map<unsigned, std::shared_ptr<Job>> m_jobs;
  unsigned m_topJob = 0;
  unsigned m_nextId = 1;  // jobs, pages and timers
  struct Timer {
    unsigned page;
    const Instruction* instruction;
    size_t poll;
  };
  std::map<UINT_PTR, Timer> m_timers;
  VARIANT_BOOL m_visible = VARIANT_TRUE;
  VARIANT_BOOL m_silent = VARIANT_FALSE;
};

}  // namespace standin
