#include "platform/gtk/GtkBrowser.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/ExternalProtocol.h"
#include "platform/gtk/FrameEventProtocol.h"
#include "platform/gtk/GtkBrowserInternal.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/StartUpTrace.h"

// The host's navigation events: BeforeNavigate2 from the policy decisions,
// NavigateComplete2 and DocumentComplete from the loads and from scripts of
// our own in every frame, in the order the Windows control raises them.

namespace ui::gtk {

namespace {

namespace events = frame_events;

// The kinds of report the scripts below send.
constexpr const char* kPageParsed = "page-parsed";
constexpr const char* kFrameComplete = "frame-complete";
constexpr const char* kFrameCommitted = "frame-committed";

// The top document has been parsed when this runs, its title with it; a
// frame's document is complete at its load event, after its own frames (the
// top document's completion comes from the load itself). Called with the
// world's reporting function and external::kWellFormedFunction: the title may
// hold lone surrogates.
constexpr const char* kFrameCompleteScript = R"JS((function (report, wellFormed) {
  if (window === window.top) {
    report('page-parsed', wellFormed(String(document.title)));
    return;
  }
  var post = function () {
    report('frame-complete', String(location.href));
  };
  if (document.readyState === 'complete') post();
  else window.addEventListener('load', post, { once: true });
}))JS";

// A frame's navigation has committed when its new document starts.
constexpr const char* kFrameCommittedScript = R"JS((function (report) {
  if (window !== window.top) report('frame-committed', String(location.href));
}))JS";

}  // namespace

void GtkBrowser::InjectEventScripts() {
  const std::string report = events::kReportFunction;
  const std::string frameCompleteScript =
      std::string(kFrameCompleteScript) + "(" + report + ", " + external::kWellFormedFunction + ");";
  WebKitUserScript* frameComplete =
      webkit_user_script_new_for_world(frameCompleteScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, events::kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(m_content, frameComplete);
  webkit_user_script_unref(frameComplete);
  const std::string frameCommittedScript = std::string(kFrameCommittedScript) + "(" + report + ");";
  WebKitUserScript* frameCommitted =
      webkit_user_script_new_for_world(frameCommittedScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, events::kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(m_content, frameCommitted);
  webkit_user_script_unref(frameCommitted);
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
      TraceStartUp("load-started");
      browser->m_loading = true;
      browser->m_committed = false;
      browser->m_requested = url;
      break;
    case WEBKIT_LOAD_REDIRECTED:
      browser->m_requested = url;
      break;
    case WEBKIT_LOAD_COMMITTED:
      TraceStartUp("load-committed");
      browser->LoadCommitted(url);
      break;
    case WEBKIT_LOAD_FINISHED:
      TraceStartUp("load-finished");
      browser->EndFirstLoad();
      browser->LoadFinished(url);
      break;
  }
}

void GtkBrowser::LoadCommitted(const std::string& url) {
  if (!RaiseNavigated()) return;  // a document that never was parsed
  if (url == kBlankPage && !m_requested.empty() && m_requested != kBlankPage) {
    // The engine would not load the address at all (a restricted port,
    // for one): it puts a blank page in its place and reports no
    // failure. It failed all the same, and our page says so; the host
    // hears of it as of any failed load, never of the blank page.
    const std::string refused = std::move(m_requested);
    m_requested.clear();
    ShowFault(PageFault::LoadFailed, refused, false);
    return;
  }
  m_parsedTitle.reset();
  m_committed = true;
  m_hasDocument = true;
  m_blankDocument = false;
  // The first document after our page was asked for is that page; any
  // later one replaces it.
  m_faultPage = m_faultPage == FaultPage::Loading ? FaultPage::Shown : FaultPage::None;
  if (m_faultPage == FaultPage::Shown && m_faultQuiet) return;
  // Raised once the document has been parsed, with its title (the
  // engine reports titles only after the load), or when a script of the
  // page first reads window.external, with the title so far, so that a
  // host installing its methods there serves the page's scripts; frames'
  // events wait for it. A load that ends first raises it then.
  m_navigated = url;
}

void GtkBrowser::LoadFinished(const std::string& url) {
  if (!RaiseNavigated()) return;
  m_loading = false;
  const bool complete = m_committed;
  if (m_faultPage == FaultPage::Shown && m_faultQuiet) return;
  // A load that never got a document (cancelled, failed before any
  // answer) completes nothing; the page shown in place of a failed one
  // completes the failed address, as the engine's own page did.
  if (complete) m_events.OnDocumentComplete(url);
}

gboolean GtkBrowser::OnFrameEventMessage(WebKitWebView*, WebKitUserMessage* message, gpointer self) {
  if (g_strcmp0(webkit_user_message_get_name(message), events::kMessage) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return TRUE;
  const gchar* kind = nullptr;
  const gchar* text = nullptr;
  g_variant_get(parameters, "(&s&s)", &kind, &text);
  auto* browser = static_cast<GtkBrowser*>(self);
  if (g_strcmp0(kind, kPageParsed) == 0) {
    browser->PageParsed(text);
  } else if (g_strcmp0(kind, kFrameComplete) == 0) {
    browser->RaiseFrameEvent({true, text});
  } else if (g_strcmp0(kind, kFrameCommitted) == 0) {
    browser->RaiseFrameEvent({false, text});
  }
  return TRUE;
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

void GtkBrowser::PageParsed(std::string title) {
  if (!m_navigated) return;  // a document whose NavigateComplete2 has gone already
  m_parsedTitle = std::move(title);
  RaiseNavigated();
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

}  // namespace ui::gtk
