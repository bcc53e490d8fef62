#pragma once

#include <memory>

#include "platform/win32/WinApi.h"
#include "ui/Browser.h"

struct IWebBrowser2;
struct IOleObject;
struct IOleInPlaceActiveObject;

namespace ui::win32 {

class BrowserSite;
class BrowserEventSink;

// The WebBrowser ActiveX control in a child window of our own, hosted by a
// minimal in-place container of our own; its events arrive through an
// event sink on the GUI thread.
class Win32Browser : public Browser {
 public:
  // Null when the control cannot be created.
  static std::unique_ptr<Win32Browser> Create(HWND parent, int controlId, const Rect& rect, BrowserEvents& events);
  ~Win32Browser() override;

  void Navigate(const std::string& url) override;
  void Stop() override;
  int ReadyState() const override;
  bool HasDocument() const override;
  std::string Title() const override;
  void SetVisible(bool visible) override;
  void SetSilent(bool silent) override;
  void SetBackgroundColor(Color color) override;
  bool InstallHostChoices(const HostChoices& choices) override;
  bool SetUIHandler(DocHostUIHandler* handler) override;
  void Move(const Rect& rect, bool repaint) override;
  Rect Placement() const override;
  void DestroyWindow() override;

  HWND Handle() const { return m_host; }
  // The control itself, and the sink it raises its events on, for callers
  // that talk to them directly (the tests).
  IOleObject* Control() const { return m_object; }
  IDispatch* EventSink() const;
  // Gives the control the keys bound for its windows first (tabbing inside
  // the page, editing keys); true when it used the message.
  static bool TranslateAccelerator(MSG& msg);

 private:
  Win32Browser(HWND parent, BrowserEvents& events);
  bool Start(int controlId, const Rect& rect);
  void Shutdown();
  void FitControl();
  static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_parent;
  HWND m_host = nullptr;
  BrowserEvents& m_events;
  BrowserSite* m_site = nullptr;
  BrowserEventSink* m_sink = nullptr;
  IOleObject* m_object = nullptr;
  IWebBrowser2* m_browser = nullptr;
  IOleInPlaceActiveObject* m_active = nullptr;
  DWORD m_cookie = 0;
  friend class BrowserSite;
};

}  // namespace ui::win32
