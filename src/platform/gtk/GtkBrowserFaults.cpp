#include "platform/gtk/GtkBrowser.h"

#include <string>

// Our own page in place of one that failed, crashed or ran out of memory
// (BrowserErrorPage.cpp), its retry button, and the reloads after crashes.

namespace ui::gtk {

namespace {

// Loads that end this way were stopped on purpose (a cancelled navigation, a
// stop, a download): there is nothing to show for them.
bool Cancelled(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD);
}

}  // namespace

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
  webkit_web_view_load_alternate_html(m_view, html.c_str(), address.empty() ? "about:blank" : address.c_str(), nullptr);
}

void GtkBrowser::OnRetry(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (browser->m_faultPage != FaultPage::Shown || browser->m_faultAddress.empty()) return;
  // The player asked: the page starts afresh, crashes before it included.
  browser->m_restarts.Clear();
  browser->Navigate(std::string(browser->m_faultAddress));
}

void GtkBrowser::OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self) {
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

}  // namespace ui::gtk
