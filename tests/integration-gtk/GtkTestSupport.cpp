#include "GtkTestSupport.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "platform/gtk/GtkWindowPeer.h"

namespace kqvtest {

GtkWidget* WidgetOf(ui::Window& window) { return static_cast<ui::gtk::GtkWindowPeer&>(window.Peer()).Widget(); }

bool ShownAt(ui::Window& window, ui::Rect rect) {
  return PumpUntil([&] {
    GtkWidget* widget = WidgetOf(window);
    GdkWindow* gdk = widget ? gtk_widget_get_window(widget) : nullptr;
    if (!gdk || !gdk_window_is_viewable(gdk)) return false;
    int x = 0, y = 0;
    gdk_window_get_origin(gdk, &x, &y);
    return x == rect.left && y == rect.top && gdk_window_get_width(gdk) == rect.Width() &&
           gdk_window_get_height(gdk) == rect.Height();
  });
}

std::array<int, 3> ScreenPixel(int x, int y) {
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
  if (!shot) return {-1, -1, -1};
  const guchar* p = gdk_pixbuf_read_pixels(shot);
  std::array<int, 3> rgb{p[0], p[1], p[2]};
  g_object_unref(shot);
  return rgb;
}

void Xdotool(const std::string& arguments) {
  gchar** argv = nullptr;
  ASSERT_TRUE(g_shell_parse_argv(("xdotool " + arguments).c_str(), nullptr, &argv, nullptr));
  GPid pid = 0;
  ASSERT_TRUE(g_spawn_async(nullptr, argv, nullptr,
                            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
                            &pid, nullptr));
  g_strfreev(argv);
  struct Wait {
    bool done = false;
    int status = -1;
  } wait;
  g_child_watch_add(
      pid,
      [](GPid child, gint code, gpointer data) {
        auto* w = static_cast<Wait*>(data);
        w->status = code;
        w->done = true;
        g_spawn_close_pid(child);
      },
      &wait);
  ASSERT_TRUE(PumpUntil([&] { return wait.done; }));
  EXPECT_EQ(wait.status, 0) << arguments;
}

}  // namespace kqvtest
