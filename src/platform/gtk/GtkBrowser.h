#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gtk/BrowserErrorPage.h"
#include "platform/gtk/WebProcessGuard.h"
#include "ui/Browser.h"

namespace ui::gtk {

class GtkWindowPeer;

// The embedded browser: a WebKitWebView placed in its window's client area.
// Events come from the view's signals and from scripts injected in every
// frame, on the GUI thread.
//
// Starting the engine holds the GUI thread for a while, so the view is made
// only once the first main window is on the screen (GtkPlatform::
// AfterStartUp); until then a placeholder takes its place in the window and
// a real load waits. A browser's first navigation, when it is to the blank
// page, needs no engine at all: its events come from here.
//
// One mechanism a file: GtkBrowser.cpp (life and navigation), Events,
// Faults, Host, External, Menu and Popups (GtkBrowser<name>.cpp).
class GtkBrowser : public Browser {
 public:
  GtkBrowser(GtkWindowPeer& parent, int controlId, const Rect& rect, BrowserEvents& events);
  ~GtkBrowser() override;
  GtkBrowser(const GtkBrowser&) = delete;
  GtkBrowser& operator=(const GtkBrowser&) = delete;

  void Navigate(const std::string& url) override;
  void Stop() override;
  int ReadyState() const override;
  bool HasDocument() const override { return m_hasDocument; }
  std::string Title() const override;
  void SetBackgroundColor(Color color) override;
  void SetVisible(bool visible) override;
  void SetSilent(bool silent) override { m_silent = silent; }  // WebKit shows no script-error dialogs
  bool InstallHostChoices(const HostChoices& choices) override;
  bool SetUIHandler(DocHostUIHandler* handler) override;
  void Move(const Rect& rect, bool repaint) override;
  Rect Placement() const override { return m_rect; }
  void DestroyWindow() override;

  // The view, the engine started for it now if it had not been yet; null
  // once the browser's window has gone.
  WebKitWebView* View();

  // For the window.external channel (ExternalBridge): whether calls from
  // the engine's page `page` are this browser's, the method names its pages
  // have now, and a call of one ("" for an unknown name, or when the browser
  // goes during the call).
  bool ServesPage(guint64 page) const;
  // A script of the page reads window.external, the page's top document
  // having `title` so far: the page's NavigateComplete2 comes now if it has
  // not yet.
  void PageScriptsAsk(const std::string& title);
  std::vector<std::string> ExternalNames() const;
  std::string CallExternal(const std::string& name, const std::vector<std::string>& args);

 private:
  // The browser's life (GtkBrowser.cpp).
  void StartEngine();
  // The process keeper this browser's view was made related to goes once
  // the view has a page of its own in that process.
  void LetKeeperGo();
  // The view goes: its web process is kept for the next browser.
  void KeepProcessForNext();
  // One first page at a time: a browser made while another's first page
  // loads starts its engine once that page is in (or after a bound).
  void StartEngineAfterFirstLoads();
  void EndFirstLoad();
  void LoadPending();
  // A view made before its window is on the screen joins the window once
  // the window has been drawn as shown, and loads once it has its size there.
  static void OnViewAllocated(GtkWidget* view, GdkRectangle*, gpointer self);
  void ReleaseLoad();
  static gboolean CompleteBlank(gpointer self);
  void CancelBlank();
  static void OnHolderDestroyed(GtkWidget*, gpointer self);

  // Navigation events (GtkBrowserEvents.cpp).
  // The scripts of our own that report frames' commits and completions and
  // the page's parsed title, and the messages they send.
  void InjectEventScripts();
  static gboolean OnFrameEventMessage(WebKitWebView*, WebKitUserMessage* message, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  void LoadCommitted(const std::string& url);
  void LoadFinished(const std::string& url);
  void PageParsed(std::string title);
  static void OnTitle(WebKitWebView* view, GParamSpec*, gpointer self);
  // A frame's NavigateComplete2 or DocumentComplete.
  struct FrameEvent {
    bool complete = false;
    std::string url;
  };
  // Raises the page's NavigateComplete2 held since its commit, if any, then
  // the frames' events held behind it; false when the browser has gone, from
  // there or before.
  bool RaiseNavigated();
  void RaiseFrameEvent(FrameEvent event);

  // Our own page for failed loads, and ended web processes (GtkBrowserFaults.cpp).
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self);
  static void OnRetry(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
  // Shows our own page for `address`. A quiet page stands in for a page the
  // host has already seen complete, so the host hears nothing of it.
  void ShowFault(PageFault fault, const std::string& address, bool quiet);

  // The host's UI handler (GtkBrowserHost.cpp).
  void ReleaseUIHandler();

  // Context menu and inspector (GtkBrowserMenu.cpp).
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);

  // New windows (GtkBrowserPopups.cpp).
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static gboolean OnPopupDecidePolicy(WebKitWebView* popup, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer self);
  static void OnPopupClose(WebKitWebView* popup, gpointer self);
  static gboolean OnPopupScriptDialog(WebKitWebView* popup, WebKitScriptDialog* dialog, gpointer);
  // Offers a new window's address to the host; what it lets through opens in
  // the system's browser. The host may end the browser from here.
  static void OfferNewWindow(GtkBrowser* browser, const std::string& address);
  void ForgetPopup(WebKitWebView* popup);

  GtkWindowPeer& m_parent;
  BrowserEvents& m_events;
  GtkWidget* m_holder = nullptr;  // the control in the window; holds the view
  WebKitWebView* m_view = nullptr;
  std::optional<GdkRGBA> m_background;  // what the view shows before a page paints
  WebKitUserContentManager* m_content = nullptr;
  int m_startToken = 0;                     // the engine's start, while it waits
  bool m_keeperRelated = false;             // the view shares the process keeper's web process
  bool m_firstLoad = false;                 // the view's first page is on its way
  bool m_firstLoadCounted = false;          // that page has been asked for
  std::optional<std::string> m_pendingUrl;  // a load waiting for the engine
  int m_viewToken = 0;                      // the view, until its window is on the screen
  bool m_loadHeld = false;                  // loads wait until the view has been drawn in its window
  guint m_blankSource = 0;                  // the first blank page, being completed
  unsigned m_navigations = 0;               // navigations asked for so far
  bool m_blankDocument = false;             // the document is that first blank page
  bool m_inspect = false;                   // the inspection switch, as it was when the browser was made
  Rect m_rect;
  bool m_loading = false;
  std::string m_requested;   // the address the current load asked for, redirects followed
  bool m_committed = false;  // the current load has a document
  bool m_hasDocument = false;
  // The page's commit, until its document has been parsed, and the frames'
  // events meanwhile.
  std::optional<std::string> m_navigated;
  std::vector<FrameEvent> m_heldFrameEvents;
  // The document's title as parsed, until the engine reports it.
  std::optional<std::string> m_parsedTitle;
  bool m_silent = false;
  bool m_contextMenu = true;
  bool m_hostInstalled = false;
  RestartWindow m_restarts;
  // Our own page: being loaded, then shown, until another document replaces it.
  enum class FaultPage { None, Loading, Shown };
  FaultPage m_faultPage = FaultPage::None;
  PageFault m_fault = PageFault::LoadFailed;
  bool m_faultQuiet = false;
  std::string m_faultAddress;
  // A new-window request the host already allowed in the policy decision;
  // the window itself, asked for next, is not offered twice.
  std::string m_allowedNewWindow;
  // Windows scripts opened without an address, hidden until they get one.
  std::vector<WebKitWebView*> m_popups;
  // False once the browser is gone: host calls may end it.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  HostChoices m_choices;
  DocHostUIHandler* m_uiHandler = nullptr;  // one reference held while the view lives
};

// Text as a JavaScript string literal.
std::string JsString(const std::string& text);

}  // namespace ui::gtk
