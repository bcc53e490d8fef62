// The start-up benchmark's yardstick: the least a WebKitGTK program does to
// show the launcher's login page. One window the size of the launcher's
// browser panel, one web view filling it, the page loaded at once.
//
//   startup_baseline [address]
//
// The web process runs without accelerated compositing, as the client's does,
// so that the engine's processes are compared like for like.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  gtk_init(&argc, &argv);
  const char* address = argc > 1 ? argv[1] : "http://127.0.0.1:47800/mini/login.html";

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 896, 487);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GtkWidget* view = webkit_web_view_new();
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
