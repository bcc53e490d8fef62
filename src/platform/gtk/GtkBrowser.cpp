#include "platform/gtk/GtkBrowser.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/EngineWarmUp.h"
#include "platform/gtk/ExternalBridge.h"
#include "platform/gtk/GtkBrowserInternal.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/StartUpTrace.h"

// The browser's life: the placeholder, the engine's start, navigation (the
// first blank page without the engine), the control's state and place.

namespace ui::gtk {

namespace {
// How long a browser's engine start waits for other browsers' first pages.
constexpr guint kFirstLoadWaitMs = 3000;

// Browsers whose first page is on its way, and browsers whose engine start
// waits for those pages.
int g_firstLoads = 0;
std::vector<GtkBrowser*>& WaitingForFirstLoads() {
  static std::vector<GtkBrowser*> waiting;
  return waiting;
}
guint g_firstLoadTimer = 0;

gboolean StartWaitingEngines(gpointer) {
  g_firstLoadTimer = 0;
  // Each start may add to the pages on their way, not to the waiting list.
  std::vector<GtkBrowser*> waiting = std::move(WaitingForFirstLoads());
  WaitingForFirstLoads().clear();
  for (GtkBrowser* browser : waiting) browser->View();
  return G_SOURCE_REMOVE;
}
}  // namespace

GtkBrowser::GtkBrowser(GtkWindowPeer& parent, int controlId, const Rect& rect, BrowserEvents& events)
    : m_parent(parent), m_events(events), m_rect(rect) {
  m_content = webkit_user_content_manager_new();
  InjectEventScripts();
  // Our error page's button; messages are heeded only while that page shows.
  g_signal_connect(m_content, "script-message-received::kqvRetry", G_CALLBACK(OnRetry), this);
  webkit_user_content_manager_register_script_message_handler(m_content, kErrorPageRetryHandler);
  // Page scripts reach window.external through the web-process extension.
  external_bridge::Add(this);

  m_inspect = InspectionWanted();
  // The view fills this box once it exists; meanwhile the box is the control
  // that is placed, shown and hidden.
  m_holder = gtk_event_box_new();
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(m_holder), FALSE);
  g_object_ref_sink(m_holder);
  g_signal_connect(m_holder, "destroy", G_CALLBACK(OnHolderDestroyed), this);
  m_parent.PlaceChild(m_holder, rect);
  m_parent.AddControl(controlId, m_holder);
  gtk_widget_show(m_holder);
  // The engine's context starts its network process at once, so that it
  // comes up alongside the window's start-up instead of after it.
  Backend().WebContext();
  // A web process kept running for this browser needs no starting: the
  // view is made at once, so the first page is asked for as soon as the
  // host navigates (once its window is on the screen, below).
  if (Backend().HasWebProcessKeeper()) {
    StartEngine();
    return;
  }
  m_startToken = Backend().AfterStartUp([this] {
    m_startToken = 0;
    StartEngineAfterFirstLoads();
  });
}

void GtkBrowser::StartEngine() {
  if (m_view || !m_holder) return;
  TraceStartUp("engine-start");
  FinishEngineWarmUp();
  TraceStartUp("warm-up-joined");
  // In the web process a page before has left running, if any; a related
  // view takes its context from the view it is related to.
  WebKitWebView* related = Backend().TakeWebProcessKeeper();
  m_keeperRelated = related != nullptr;
  m_view = WEBKIT_WEB_VIEW(
      related ? g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "user-content-manager", m_content, nullptr)
              : g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", Backend().WebContext(), "user-content-manager",
                             m_content, nullptr));
  g_object_ref_sink(m_view);
  TraceStartUp("web-view-created");
  WebKitSettings* settings = webkit_web_view_get_settings(m_view);
  const bool inspect = m_inspect;
  webkit_settings_set_enable_developer_extras(settings, inspect);
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  if (m_background) webkit_web_view_set_background_color(m_view, &*m_background);

  g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
  g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(m_view, "notify::title", G_CALLBACK(OnTitle), this);
  g_signal_connect(m_view, "user-message-received", G_CALLBACK(OnFrameEventMessage), this);
  if (inspect) {
    g_signal_connect(m_view, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(webkit_web_view_get_inspector(m_view), "attach", G_CALLBACK(OpenInspectorWindow), nullptr);
  }

  gtk_container_add(GTK_CONTAINER(m_holder), GTK_WIDGET(m_view));
  if (GtkWidget* window = m_parent.Widget(); window && !gtk_widget_get_mapped(window)) {
    // A view the engine paints before its window is on the screen as shown
    // is painted at a size the window is about to leave, and when the window
    // grows (a maximise) the rest shows black until the engine paints again.
    // It joins the window once the window has been drawn as shown, and its
    // first page is asked for once the view has its size there: the size
    // reaches the web process ahead of the load. The engine waits in the
    // view's first draw for the web process to take the size, which a web
    // process already in a page's load answers only after a time-out.
    m_loadHeld = true;
    g_signal_connect_after(m_view, "size-allocate", G_CALLBACK(OnViewAllocated), this);
    m_viewToken = m_parent.WhenOnScreen([this] {
      m_viewToken = 0;
      if (!m_view) return;
      gtk_widget_show(GTK_WIDGET(m_view));
      // A window hidden meanwhile, or a control the host hid: nothing is
      // drawn, so nothing waits for it.
      if (!gtk_widget_is_drawable(GTK_WIDGET(m_view))) ReleaseLoad();
    });
  } else {
    gtk_widget_show(GTK_WIDGET(m_view));
  }
  LoadPending();
}

void GtkBrowser::StartEngineAfterFirstLoads() {
  // A window opened alongside another (the game window's hidden chat) would
  // start its web process while the page the player waits for loads, and
  // share the machine with it: it starts once that page is in.
  if (g_firstLoads == 0) {
    StartEngine();
    return;
  }
  WaitingForFirstLoads().push_back(this);
  if (!g_firstLoadTimer) g_firstLoadTimer = g_timeout_add(kFirstLoadWaitMs, StartWaitingEngines, nullptr);
}

void GtkBrowser::EndFirstLoad() {
  LetKeeperGo();
  std::erase(WaitingForFirstLoads(), this);
  if (!m_firstLoad) return;
  m_firstLoad = false;
  if (--g_firstLoads > 0 || WaitingForFirstLoads().empty()) return;
  if (g_firstLoadTimer) g_source_remove(g_firstLoadTimer);
  g_firstLoadTimer = g_idle_add(StartWaitingEngines, nullptr);
}

void GtkBrowser::KeepProcessForNext() {
  // Only a page of the web's keeps its process for the browser that follows
  // (the launcher's login page for the game window's).
  if (m_hasDocument && !m_blankDocument) Backend().KeepWebProcess(m_view);
}

void GtkBrowser::LetKeeperGo() {
  if (!m_keeperRelated) return;
  m_keeperRelated = false;
  Backend().DropWebProcessKeeper();
}

void GtkBrowser::OnViewAllocated(GtkWidget* view, GdkRectangle*, gpointer self) {
  if (!gtk_widget_get_visible(view)) return;  // not the size it shows at
  g_signal_handlers_disconnect_by_func(view, reinterpret_cast<gpointer>(OnViewAllocated), self);
  // At once, ahead of the view's first draw in this frame, which waits for
  // the web process to have taken the size.
  static_cast<GtkBrowser*>(self)->ReleaseLoad();
}

void GtkBrowser::ReleaseLoad() {
  if (!m_loadHeld) return;
  m_loadHeld = false;
  TraceStartUp("view-placed");
  LoadPending();
}

WebKitWebView* GtkBrowser::View() {
  if (!m_view && m_holder) {
    if (m_startToken) Backend().CancelAfterStartUp(m_startToken);
    m_startToken = 0;
    StartEngine();
  }
  return m_view;
}

void GtkBrowser::LoadPending() {
  if (!m_view || !m_pendingUrl) return;
  if (!m_firstLoadCounted) {
    // Browsers made meanwhile start their engines once this page is in,
    // also while it waits for its view to be drawn.
    m_firstLoadCounted = true;
    m_firstLoad = true;
    ++g_firstLoads;
  }
  if (m_loadHeld) return;
  const std::string url = std::move(*m_pendingUrl);
  m_pendingUrl.reset();
  TraceStartUp("load-uri");
  webkit_web_view_load_uri(m_view, url.c_str());
  TraceStartUp("load-uri-returned");
}

GtkBrowser::~GtkBrowser() {
  *m_alive = false;
  external_bridge::Remove(this);
  if (m_startToken) Backend().CancelAfterStartUp(m_startToken);
  CancelBlank();
  while (!m_popups.empty()) ForgetPopup(m_popups.back());
  ReleaseUIHandler();
  if (m_viewToken) m_parent.CancelWhenOnScreen(m_viewToken);
  m_viewToken = 0;
  EndFirstLoad();
  if (m_view) {
    KeepProcessForNext();
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_object_unref(m_view);
    m_view = nullptr;
  }
  if (m_holder) {
    g_signal_handlers_disconnect_by_data(m_holder, this);
    m_parent.ForgetControl(m_holder);
    gtk_widget_destroy(m_holder);
    g_object_unref(m_holder);
    m_holder = nullptr;
  }
  g_signal_handlers_disconnect_by_data(m_content, this);
  g_object_unref(m_content);
}

void GtkBrowser::OnHolderDestroyed(GtkWidget* widget, gpointer self) {
  // The window went, and its children with it.
  auto* browser = static_cast<GtkBrowser*>(self);
  g_signal_handlers_disconnect_by_data(widget, browser);
  browser->m_parent.ForgetControl(widget);
  if (browser->m_startToken) Backend().CancelAfterStartUp(browser->m_startToken);
  browser->m_startToken = 0;
  browser->CancelBlank();
  browser->m_pendingUrl.reset();
  if (browser->m_viewToken) browser->m_parent.CancelWhenOnScreen(browser->m_viewToken);
  browser->m_viewToken = 0;
  browser->EndFirstLoad();
  if (browser->m_view) {
    browser->KeepProcessForNext();
    g_signal_handlers_disconnect_by_data(browser->m_view, browser);
    g_object_unref(browser->m_view);
    browser->m_view = nullptr;
  }
  g_object_unref(browser->m_holder);
  browser->m_holder = nullptr;
  browser->m_loading = false;
  browser->m_navigated.reset();
  browser->m_heldFrameEvents.clear();
  browser->ReleaseUIHandler();
}

void GtkBrowser::Navigate(const std::string& url) {
  if (!m_holder) return;
  const bool first = m_navigations++ == 0;
  CancelBlank();
  m_loading = true;
  m_committed = false;
  // A page of ours still on its way is superseded by this load; one already
  // shown stays ours until another document replaces it (the host may cancel
  // this one).
  if (m_faultPage == FaultPage::Loading) m_faultPage = FaultPage::None;
  if (first && url == kBlankPage) {
    // Nothing to fetch and nothing to show: the page's events come as the
    // engine's would, without waiting for the engine.
    m_blankSource = g_idle_add(CompleteBlank, this);
    return;
  }
  m_pendingUrl = url;
  LoadPending();  // at once when the engine runs; otherwise once it starts
}

gboolean GtkBrowser::CompleteBlank(gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  browser->m_blankSource = 0;
  // As the engine's load would go: offered, then committed, then complete.
  // The host may end its window, or the browser, from any of these.
  const std::shared_ptr<bool> alive = browser->m_alive;
  const unsigned navigation = browser->m_navigations;  // a later one replaces this load
  const auto gone = [&] { return !*alive || !browser->m_holder || browser->m_navigations != navigation; };
  bool cancel = false;
  browser->m_events.OnBeforeNavigate2(kBlankPage, cancel);
  if (gone()) return G_SOURCE_REMOVE;
  if (cancel) {
    browser->m_loading = false;
    return G_SOURCE_REMOVE;
  }
  browser->m_committed = true;
  browser->m_hasDocument = true;
  browser->m_blankDocument = true;
  browser->m_events.OnNavigateComplete2(kBlankPage, true);
  if (gone()) return G_SOURCE_REMOVE;
  browser->m_loading = false;
  browser->m_events.OnDocumentComplete(kBlankPage);
  return G_SOURCE_REMOVE;
}

void GtkBrowser::CancelBlank() {
  if (m_blankSource) g_source_remove(m_blankSource);
  m_blankSource = 0;
}

void GtkBrowser::Stop() {
  if (m_blankSource || m_pendingUrl) {
    // A load that never started ends as a cancelled one: no document.
    CancelBlank();
    m_pendingUrl.reset();
    m_loading = false;
  }
  if (m_view) webkit_web_view_stop_loading(m_view);
}

void GtkBrowser::SetBackgroundColor(Color color) {
  m_background = GdkRGBA{color.r / 255.0, color.g / 255.0, color.b / 255.0, color.a / 255.0};
  if (m_view) webkit_web_view_set_background_color(m_view, &*m_background);  // else once the engine starts
}

std::string GtkBrowser::Title() const {
  // The engine reports a document's title only after its load; until then
  // the title the document had when it was parsed stands in.
  if (!m_view) return {};
  if (m_parsedTitle) return *m_parsedTitle;
  const gchar* title = webkit_web_view_get_title(m_view);
  return title ? title : "";
}

int GtkBrowser::ReadyState() const {
  // The states of the browser control: 1 loading, 3 interactive, 4 complete.
  // An idle browser is complete, also before its first page.
  if (!m_holder) return 0;
  if (!m_loading && (!m_view || !webkit_web_view_is_loading(m_view))) return 4;
  return m_committed ? 3 : 1;
}

void GtkBrowser::SetVisible(bool visible) {
  if (m_holder) gtk_widget_set_visible(m_holder, visible);
}

void GtkBrowser::Move(const Rect& rect, bool) {
  m_rect = rect;
  if (m_holder) m_parent.PlaceChild(m_holder, rect);
}

void GtkBrowser::DestroyWindow() {
  if (m_holder) gtk_widget_destroy(m_holder);  // OnHolderDestroyed lets go of it
}

}  // namespace ui::gtk
