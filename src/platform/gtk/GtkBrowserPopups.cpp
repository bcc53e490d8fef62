#include "platform/gtk/GtkBrowser.h"

#include <algorithm>
#include <string>

// New windows: offered to the host once, then opened in the system's browser;
// a window a script opens without an address is kept hidden until it gets one.

namespace ui::gtk {

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
