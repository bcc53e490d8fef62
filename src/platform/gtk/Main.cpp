#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/RunClient.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/SessionBus.h"
#include "platform/gtk/StartUpTrace.h"

int main(int argc, char** argv) {
  ui::gtk::TraceStartUp("main");
  // The font map reads the font configuration on a thread of its own, and
  // the first window waits for it: made now, that reading runs alongside
  // GTK's start instead of after it.
  pango_cairo_font_map_get_default();
  // The web process without accelerated compositing needs far less memory
  // and draws the same pages.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  // Everything of ours is drawn with cairo, and pages are not composited:
  // GTK need not load OpenGL before the first window can show.
  const char* compositing = std::getenv("WEBKIT_DISABLE_COMPOSITING_MODE");
  if (compositing && std::strcmp(compositing, "0") != 0) setenv("GDK_GL", "disable", 0);
  ui::gtk::SkipHopelessSessionBusSearch();

  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  // The launcher places its two windows itself and keeps one on the other,
  // which Wayland does not let a client do: a Wayland session runs the
  // client through XWayland.
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  ui::gtk::TraceStartUp("gtk-ready");

  // Kept to the end of the process: windows the system never frees still
  // refer to it while the process exits.
  static ui::gtk::GtkPlatform* platform = new ui::gtk::GtkPlatform(std::move(args));
  ui::SetPlatform(platform);
  const int result = RunClient();
  return result != 0 ? result : platform->ExitCode();
}
