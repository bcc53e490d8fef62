#include "platform/gtk/GtkBrowser.h"

#include <gdk/gdkkeysyms.h>

#include <cstring>

#include "platform/gtk/GtkBrowserInternal.h"
#include "platform/gtk/GtkPlatform.h"

// The context menu (the host's choice, or its UI handler's own menu) and the
// developer's inspector (KQV_INSPECT=1, F12) in a window of its own.

namespace ui::gtk {

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

gboolean GtkBrowser::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* browser = static_cast<GtkBrowser*>(self);
  if (event->keyval != GDK_KEY_F12 || !browser->m_view) return FALSE;
  webkit_web_inspector_show(webkit_web_view_get_inspector(browser->m_view));
  return TRUE;
}

}  // namespace ui::gtk
