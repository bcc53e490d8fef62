#include "platform/gtk/GtkBrowser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/gtk/EngineWarmUp.h"
#include "platform/gtk/ExternalBridge.h"
#include "platform/gtk/ExternalProtocol.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"

namespace ui::gtk {

namespace {

// Scripts of our own run in a world of their own, out of the pages' reach.
constexpr const char* kHostWorld = "kqvhost";
constexpr const char* kFrameCompleteHandler = "kqvFrameComplete";
constexpr const char* kFrameCommittedHandler = "kqvFrameCommitted";
constexpr const char* kPageParsedHandler = "kqvPageParsed";
constexpr const char* kBlankPage = "about:blank";

// A frame's document is complete at its load event, after its own frames;
// the top document's completion comes from the load itself. The top
// document has been parsed when this runs, its title with it. Called with
// external::kWellFormedFunction: the title may hold lone surrogates.
constexpr const char* kFrameCompleteScript = R"JS((function (wellFormed) {
  if (window === window.top) {
    window.webkit.messageHandlers.kqvPageParsed.postMessage(wellFormed(String(document.title)));
    return;
  }
  var post = function () {
    window.webkit.messageHandlers.kqvFrameComplete.postMessage(String(location.href));
  };
  if (document.readyState === 'complete') post();
  else window.addEventListener('load', post, { once: true });
}))JS";

// A frame's navigation has committed when its new document starts.
constexpr const char* kFrameCommittedScript = R"JS((function () {
  if (window !== window.top) window.webkit.messageHandlers.kqvFrameCommitted.postMessage(String(location.href));
})();)JS";

// The host decides: no scroll bars on the page.
constexpr const char* kNoScrollBarsStyle =
    "html, body { overflow: hidden !important; }\n"
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; }\n";

// KQV_INSPECT=1 lets a developer inspect the pages: the engine's inspector
// from the context menu, where the host allows one, and from F12.
bool InspectionWanted() {
  const gchar* value = g_getenv("KQV_INSPECT");
  return value && std::strcmp(value, "1") == 0;
}

// The engine docks its inspector in the page's view when that view is large
// enough, which would take half of a small panel: the inspector gets a window
// of its own instead. Handling the request keeps the engine from docking it,
// and from showing anything itself.
gboolean OpenInspectorWindow(WebKitWebInspector* inspector, gpointer) {
  GtkWidget* view = GTK_WIDGET(webkit_web_inspector_get_web_view(inspector));
  if (!view) return TRUE;
  if (GtkWidget* shown = gtk_widget_get_toplevel(view); GTK_IS_WINDOW(shown) && shown != view) {
    gtk_window_present(GTK_WINDOW(shown));
    return TRUE;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Web Inspector");
  gtk_window_set_default_size(GTK_WINDOW(window), 960, 640);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show(view);
  // Closing the window closes the inspector; the inspector's own close (or
  // its page's end) takes the window away.
  g_signal_connect_object(window, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, WebKitWebInspector* ins) {
                            webkit_web_inspector_close(ins);
                            return TRUE;
                          }),
                          inspector, static_cast<GConnectFlags>(0));
  g_signal_connect_object(inspector, "closed", G_CALLBACK(gtk_widget_destroy), window, G_CONNECT_SWAPPED);
  gtk_window_present(GTK_WINDOW(window));
  return TRUE;
}

// Loads that end this way were stopped on purpose (a cancelled navigation, a
// stop, a download): there is nothing to show for them.
bool Cancelled(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD);
}

std::string StringOf(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return {};
  gchar* text = jsc_value_to_string(value);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

}  // namespace

std::string JsString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '<':
        out += "\\x3c";  // never closes a script element it may be pasted in
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
          out += escaped;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xA8) {
          // U+2028 and U+2029 end a line inside older engines' string literals.
          out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

GtkBrowser::GtkBrowser(GtkWindowPeer& parent, int controlId, const Rect& rect, BrowserEvents& events)
    : m_parent(parent), m_events(events), m_rect(rect) {
  m_content = webkit_user_content_manager_new();
  g_signal_connect(m_content, "script-message-received::kqvFrameComplete", G_CALLBACK(OnFrameComplete), this);
  g_signal_connect(m_content, "script-message-received::kqvFrameCommitted", G_CALLBACK(OnFrameCommitted), this);
  g_signal_connect(m_content, "script-message-received::kqvPageParsed", G_CALLBACK(OnPageParsed), this);
  g_signal_connect(m_content, "script-message-received::kqvRetry", G_CALLBACK(OnRetry), this);
  webkit_user_content_manager_register_script_message_handler_in_world(m_content, kFrameCompleteHandler, kHostWorld);
  webkit_user_content_manager_register_script_message_handler_in_world(m_content, kFrameCommittedHandler, kHostWorld);
  webkit_user_content_manager_register_script_message_handler_in_world(m_content, kPageParsedHandler, kHostWorld);
  // Our error page's button; messages are heeded only while that page shows.
  webkit_user_content_manager_register_script_message_handler(m_content, kErrorPageRetryHandler);
  const std::string frameCompleteScript =
      std::string(kFrameCompleteScript) + "(" + external::kWellFormedFunction + ");";
  WebKitUserScript* frameComplete =
      webkit_user_script_new_for_world(frameCompleteScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, kHostWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(m_content, frameComplete);
  webkit_user_script_unref(frameComplete);
  WebKitUserScript* frameCommitted =
      webkit_user_script_new_for_world(kFrameCommittedScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kHostWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(m_content, frameCommitted);
  webkit_user_script_unref(frameCommitted);
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
  m_startToken = Backend().AfterStartUp([this] {
    m_startToken = 0;
    StartEngine();
  });
}

void GtkBrowser::StartEngine() {
  if (m_view || !m_holder) return;
  FinishEngineWarmUp();
  m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", Backend().WebContext(),
                                        "user-content-manager", m_content, nullptr));
  g_object_ref_sink(m_view);
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
  if (inspect) {
    g_signal_connect(m_view, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(webkit_web_view_get_inspector(m_view), "attach", G_CALLBACK(OpenInspectorWindow), nullptr);
  }

  gtk_container_add(GTK_CONTAINER(m_holder), GTK_WIDGET(m_view));
  gtk_widget_show(GTK_WIDGET(m_view));
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
  const std::string url = std::move(*m_pendingUrl);
  m_pendingUrl.reset();
  webkit_web_view_load_uri(m_view, url.c_str());
}

GtkBrowser::~GtkBrowser() {
  *m_alive = false;
  external_bridge::Remove(this);
  if (m_startToken) Backend().CancelAfterStartUp(m_startToken);
  CancelBlank();
  while (!m_popups.empty()) ForgetPopup(m_popups.back());
  ReleaseUIHandler();
  if (m_view) {
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
  if (browser->m_view) {
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

void GtkBrowser::ReleaseUIHandler() {
  DocHostUIHandler* handler = m_uiHandler;
  m_uiHandler = nullptr;
  if (handler) handler->Release();
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

bool GtkBrowser::InstallHostChoices(const HostChoices& choices) {
  if (!m_holder || !m_hasDocument) return false;
  m_choices = choices;
  m_contextMenu = choices.contextMenu;
  if (m_hostInstalled) {
    webkit_user_content_manager_remove_all_style_sheets(m_content);
  }
  m_hostInstalled = true;
  // window.external is the extension's, in every frame of every document;
  // documents that already built theirs build it again at the next read.
  const unsigned generation = external_bridge::NextGeneration();
  if (m_view && !m_blankDocument) {
    webkit_web_view_send_message_to_page(
        m_view, webkit_user_message_new(external::kChangedMessage, g_variant_new_uint32(generation)), nullptr, nullptr,
        nullptr);
  }
  if (!choices.scrollBars) {
    // The page's own document, from now on and now; frames keep the scroll
    // bars their page gives them.
    WebKitUserStyleSheet* style = webkit_user_style_sheet_new(kNoScrollBarsStyle, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                              WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(m_content, style);
    webkit_user_style_sheet_unref(style);
    const std::string now =
        "(function () { var s = document.createElement('style'); s.textContent = " + JsString(kNoScrollBarsStyle) +
        "; (document.head || document.documentElement).appendChild(s); })();\n";
    // The first blank page has nothing to give it to, and evaluating a
    // script would load the script engine into this process.
    if (m_view && !m_blankDocument) {
      webkit_web_view_evaluate_javascript(m_view, now.c_str(), static_cast<gssize>(now.size()), nullptr, nullptr,
                                          nullptr, nullptr, nullptr);
    }
  }
  return true;
}

bool GtkBrowser::SetUIHandler(DocHostUIHandler* handler) {
  if (!m_holder || !m_hasDocument) return false;
  if (handler) handler->AddRef();
  ReleaseUIHandler();
  m_uiHandler = handler;
  if (!handler) return true;
  // The page's look is asked once, as the document takes its host; the
  // context menu is asked at each right click.
  HostChoices choices;
  DocHostUIInfo info;
  info.cbSize = kDocHostUIInfoSize;
  if (handler->GetHostInfo(&info) == kSOk) {
    choices.border3d = (info.dwFlags & kDocHostUIFlagNo3DBorder) == 0;
    choices.scrollBars = (info.dwFlags & kDocHostUIFlagScrollNo) == 0;
  } else {
    choices.border3d = choices.scrollBars = true;
  }
  // A portable handler cannot hand over a script object: whatever it
  // answers, window.external stays an empty object.
  void* external = nullptr;
  handler->GetExternal(&external);
  return InstallHostChoices(choices);
}

gboolean GtkBrowser::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                    gpointer self) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  auto* browser = static_cast<GtkBrowser*>(self);
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string address = uri ? uri : "";
  bool cancel = false;
  g_object_ref(decision);
  const std::shared_ptr<bool> alive = browser->m_alive;
  // The host may end its window, and the browser with it, from here.
  browser->m_events.OnBeforeNavigate2(address, cancel);
  if (cancel) webkit_policy_decision_ignore(decision);
  g_object_unref(decision);
  if (*alive && !cancel && type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    browser->m_allowedNewWindow = address;
  }
  return cancel;
}

void GtkBrowser::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  const gchar* uri = webkit_web_view_get_uri(view);
  const std::string url = uri ? uri : "";
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      browser->m_loading = true;
      browser->m_committed = false;
      browser->m_requested = url;
      break;
    case WEBKIT_LOAD_REDIRECTED:
      browser->m_requested = url;
      break;
    case WEBKIT_LOAD_COMMITTED:
      if (!browser->RaiseNavigated()) return;  // a document that never was parsed
      if (url == kBlankPage && !browser->m_requested.empty() && browser->m_requested != kBlankPage) {
        // The engine would not load the address at all (a restricted port,
        // for one): it puts a blank page in its place and reports no
        // failure. It failed all the same, and our page says so; the host
        // hears of it as of any failed load, never of the blank page.
        const std::string refused = std::move(browser->m_requested);
        browser->m_requested.clear();
        browser->ShowFault(PageFault::LoadFailed, refused, false);
        return;
      }
      browser->m_parsedTitle.reset();
      browser->m_committed = true;
      browser->m_hasDocument = true;
      browser->m_blankDocument = false;
      // The first document after our page was asked for is that page; any
      // later one replaces it.
      browser->m_faultPage =
          browser->m_faultPage == FaultPage::Loading ? FaultPage::Shown : FaultPage::None;
      if (browser->m_faultPage == FaultPage::Shown && browser->m_faultQuiet) break;
      // Raised once the document has been parsed, with its title (the
      // engine reports titles only after the load), or when a script of the
      // page first reads window.external, with the title so far, so that a
      // host installing its methods there serves the page's scripts; frames'
      // events wait for it. A load that ends first raises it then.
      browser->m_navigated = url;
      break;
    case WEBKIT_LOAD_FINISHED: {
      if (!browser->RaiseNavigated()) return;
      browser->m_loading = false;
      const bool complete = browser->m_committed;
      if (browser->m_faultPage == FaultPage::Shown && browser->m_faultQuiet) break;
      // A load that never got a document (cancelled, failed before any
      // answer) completes nothing; the page shown in place of a failed one
      // completes the failed address, as the engine's own page did.
      if (complete) browser->m_events.OnDocumentComplete(url);
      break;
    }
  }
}

gboolean GtkBrowser::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
  if (!static_cast<GtkBrowser*>(self)->RaiseNavigated()) return TRUE;
  if (Cancelled(error)) return TRUE;
  static_cast<GtkBrowser*>(self)->ShowFault(PageFault::LoadFailed, uri ? uri : "", false);
  return TRUE;
}

void GtkBrowser::ShowFault(PageFault fault, const std::string& address, bool quiet) {
  m_fault = fault;
  m_faultQuiet = quiet;
  m_faultAddress = address;
  m_faultPage = FaultPage::Loading;
  const std::string html = ErrorPageHtml(fault, address);
  // In place of the page, under its address, so the host and the history see
  // the address that failed.
  webkit_web_view_load_alternate_html(m_view, html.c_str(), address.empty() ? "about:blank" : address.c_str(),
                                      nullptr);
}

void GtkBrowser::OnRetry(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (browser->m_faultPage != FaultPage::Shown || browser->m_faultAddress.empty()) return;
  // The player asked: the page starts afresh, crashes before it included.
  browser->m_restarts.Clear();
  browser->Navigate(std::string(browser->m_faultAddress));
}

gboolean GtkBrowser::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (event->keyval != GDK_KEY_F12 || !browser->m_view) return FALSE;
  webkit_web_inspector_show(webkit_web_view_get_inspector(browser->m_view));
  return TRUE;
}

void GtkBrowser::OnFrameComplete(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
  static_cast<GtkBrowser*>(self)->RaiseFrameEvent({true, StringOf(webkit_javascript_result_get_js_value(result))});
}

void GtkBrowser::OnFrameCommitted(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
  static_cast<GtkBrowser*>(self)->RaiseFrameEvent({false, StringOf(webkit_javascript_result_get_js_value(result))});
}

void GtkBrowser::RaiseFrameEvent(FrameEvent event) {
  if (m_navigated) {
    m_heldFrameEvents.push_back(std::move(event));
    return;
  }
  if (event.complete) {
    m_events.OnDocumentComplete(event.url);
  } else {
    m_events.OnNavigateComplete2(event.url, false);
  }
}

void GtkBrowser::OnPageParsed(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (!browser->m_navigated) return;  // a document whose NavigateComplete2 has gone already
  browser->m_parsedTitle = StringOf(webkit_javascript_result_get_js_value(result));
  browser->RaiseNavigated();
}

void GtkBrowser::OnTitle(WebKitWebView*, GParamSpec*, gpointer self) {
  // The engine's title has caught up with the parsed one, or a script set it.
  auto* browser = static_cast<GtkBrowser*>(self);
  if (!browser->m_navigated) browser->m_parsedTitle.reset();
}

bool GtkBrowser::RaiseNavigated() {
  if (!m_navigated) return m_view != nullptr;
  const std::string url = std::move(*m_navigated);
  m_navigated.reset();
  std::vector<FrameEvent> held;
  held.swap(m_heldFrameEvents);
  const std::shared_ptr<bool> alive = m_alive;
  const auto gone = [&] { return !*alive || !m_view; };
  // The host may end the browser from any of these.
  m_events.OnNavigateComplete2(url, true);
  for (const FrameEvent& event : held) {
    if (gone()) return false;
    RaiseFrameEvent(event);
  }
  return !gone();
}

void GtkBrowser::PageScriptsAsk(const std::string& title) {
  if (!m_navigated) return;
  m_parsedTitle = title;
  RaiseNavigated();
}

bool GtkBrowser::ServesPage(guint64 page) const { return m_view && webkit_web_view_get_page_id(m_view) == page; }

std::vector<std::string> GtkBrowser::ExternalNames() const {
  std::vector<std::string> names;
  for (const auto& [name, method] : m_choices.external) {
    if (method) names.push_back(name);
  }
  return names;
}

std::string GtkBrowser::CallExternal(const std::string& name, const std::vector<std::string>& args) {
  auto found = m_choices.external.find(name);
  if (found == m_choices.external.end() || !found->second) return {};
  const ExternalMethod method = found->second;  // the method may replace the choices
  const std::shared_ptr<bool> alive = m_alive;
  std::string answer = method(args);
  // A browser that went meanwhile has no page left to answer.
  if (!*alive || !m_view) return {};
  return answer;
}

gboolean GtkBrowser::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event, WebKitHitTestResult*,
                                   gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (!browser->m_uiHandler) return !browser->m_contextMenu;
  // S_OK: the host has shown its own menu (perhaps none), so WebKit shows none.
  Point at;
  gdouble x = 0, y = 0;
  if (event && gdk_event_get_root_coords(event, &x, &y)) {
    const Point origin = ScreenOrigin();
    at = {static_cast<int>(x) - origin.x, static_cast<int>(y) - origin.y};
  }
  return browser->m_uiHandler->ShowContextMenu(kContextMenuDefault, &at, nullptr, nullptr) == kSOk;
}

void GtkBrowser::OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                        gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (!browser->RaiseNavigated()) return;
  browser->m_loading = false;
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  if (browser->m_faultPage != FaultPage::None) {
    // Our own page went with the process: show it again as it was.
    browser->ShowFault(browser->m_fault, browser->m_faultAddress, true);
    return;
  }
  const gchar* uri = webkit_web_view_get_uri(view);
  const std::string address = uri ? uri : "";
  // Loading it again would only grow it again.
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) {
    browser->ShowFault(PageFault::OutOfMemory, address, true);
    return;
  }
  // A crashed page would leave a dead window: load it again, but not for
  // ever if it crashes every time.
  if (browser->m_restarts.Allow(RestartWindow::Clock::now())) {
    webkit_web_view_reload(view);
  } else {
    browser->ShowFault(PageFault::Crashed, address, true);
  }
}

namespace {

bool NoAddressYet(const std::string& address) { return address.empty() || address == "about:blank"; }

// Hidden windows waiting for an address; the oldest goes when one more comes.
constexpr std::size_t kMostPopups = 4;

}  // namespace

GtkWidget* GtkBrowser::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
  // A new window is a navigation like any other for the host, whether a
  // link's target or a script asked for it: an address the host takes (a
  // game entry) is cancelled and handed off there; any other web address
  // opens in the system's browser, as it would outside the client.
  auto* browser = static_cast<GtkBrowser*>(self);
  const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string address = uri ? uri : "";
  const bool allowed = !address.empty() && address == browser->m_allowedNewWindow;
  browser->m_allowedNewWindow.clear();
  if (NoAddressYet(address)) {
    // `var w = window.open(); w.location = ...`: the script gets a window
    // that is never shown, and the address it is given is offered then.
    if (browser->m_popups.size() >= kMostPopups) browser->ForgetPopup(browser->m_popups.front());
    auto* popup = WEBKIT_WEB_VIEW(webkit_web_view_new_with_related_view(view));
    g_object_ref_sink(popup);
    g_signal_connect(popup, "decide-policy", G_CALLBACK(OnPopupDecidePolicy), browser);
    g_signal_connect(popup, "close", G_CALLBACK(OnPopupClose), browser);
    g_signal_connect(popup, "script-dialog", G_CALLBACK(OnPopupScriptDialog), nullptr);
    browser->m_popups.push_back(popup);
    return GTK_WIDGET(popup);
  }
  if (allowed) {
    OpenNewWindowOutside(address);
  } else {
    OfferNewWindow(browser, address);
  }
  return nullptr;
}

void GtkBrowser::OfferNewWindow(GtkBrowser* browser, const std::string& address) {
  bool cancel = false;
  // The host may end its window, and the browser with it, from here.
  browser->m_events.OnBeforeNavigate2(address, cancel);
  if (!cancel) OpenNewWindowOutside(address);
}

gboolean GtkBrowser::OnPopupDecidePolicy(WebKitWebView* popup, WebKitPolicyDecision* decision,
                                         WebKitPolicyDecisionType type, gpointer self) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string address = uri ? uri : "";
  if (NoAddressYet(address)) return FALSE;
  // The window never loads anything itself: it goes, and its address is a
  // new-window request like any other.
  webkit_policy_decision_ignore(decision);
  auto* browser = static_cast<GtkBrowser*>(self);
  browser->ForgetPopup(popup);
  OfferNewWindow(browser, address);
  return TRUE;
}

gboolean GtkBrowser::OnPopupScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  // Nobody sees this window, so nobody could answer; while a dialog waits,
  // the web process it shares with the page waits too. Answered as a player
  // who dismisses it would: confirm false, prompt null (its text is never
  // set), and leaving a page is allowed.
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default:
      break;
  }
  return TRUE;  // handled, and closed as the signal returns
}

void GtkBrowser::OnPopupClose(WebKitWebView* popup, gpointer self) {
  static_cast<GtkBrowser*>(self)->ForgetPopup(popup);
}

void GtkBrowser::ForgetPopup(WebKitWebView* popup) {
  auto found = std::find(m_popups.begin(), m_popups.end(), popup);
  if (found == m_popups.end()) return;
  m_popups.erase(found);
  g_signal_handlers_disconnect_by_data(popup, this);
  // Not from inside the view's own signal.
  g_idle_add(
      [](gpointer data) {
        auto* view = static_cast<WebKitWebView*>(data);
        gtk_widget_destroy(GTK_WIDGET(view));
        g_object_unref(view);
        return G_SOURCE_REMOVE;
      },
      popup);
}

}  // namespace ui::gtk
