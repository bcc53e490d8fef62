// The start-up benchmark's yardstick: the least a WebKitGTK program does to
// show the launcher's login page. One window the size of the launcher's
// browser panel, one web view filling it, the page loaded at once. Whatever
// the page navigates to next (the hand-off run's game page) loads in the same
// view.
//
//   startup_baseline [address]
//
// The web process runs without accelerated compositing, as the client's does,
// so that the engine's processes are compared like for like. With
// KQV_TRACE_STARTUP set it reports the same moments as the client.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>

#include "platform/gtk/StartUpTrace.h"

using ui::gtk::TraceStartUp;

int main(int argc, char** argv) {
  TraceStartUp("main");
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  gtk_init(&argc, &argv);
  TraceStartUp("gtk-ready");
  const char* address = argc > 1 ? argv[1] : "http://127.0.0.1:47800/mini/login.html";

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 896, 487);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  if (ui::gtk::StartUpTraceWanted()) {
    g_signal_connect(webkit_web_context_get_default(), "initialize-web-extensions",
                     G_CALLBACK(+[](WebKitWebContext*, gpointer) { TraceStartUp("web-process-spawn"); }), nullptr);
    g_signal_connect(window, "draw", G_CALLBACK(+[](GtkWidget* widget, cairo_t*, gpointer) {
                       TraceStartUp("main-window-drawn");
                       g_signal_handlers_disconnect_matched(widget, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                                            reinterpret_cast<gpointer>(1));
                       return FALSE;
                     }),
                     reinterpret_cast<gpointer>(1));
  }
  GtkWidget* view = webkit_web_view_new();
  TraceStartUp("web-view-created");
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  if (ui::gtk::StartUpTraceWanted()) {
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                       if (event == WEBKIT_LOAD_STARTED) TraceStartUp("load-started");
                       if (event == WEBKIT_LOAD_COMMITTED) TraceStartUp("load-committed");
                       if (event == WEBKIT_LOAD_FINISHED) TraceStartUp("load-finished");
                     }),
                     nullptr);
  }
  gtk_container_add(GTK_CONTAINER(window), view);
  TraceStartUp("load-uri");
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address);
  TraceStartUp("load-uri-returned");
  TraceStartUp("main-window-shown");
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
