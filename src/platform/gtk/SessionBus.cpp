#include "platform/gtk/SessionBus.h"

#include <glib.h>

namespace ui::gtk {

bool SessionBusFindable(const char* address, const std::string& runtimeBusSocket, bool autolaunchProgram) {
  if (address && *address) return true;
  if (!runtimeBusSocket.empty() && g_file_test(runtimeBusSocket.c_str(), G_FILE_TEST_EXISTS)) return true;
  return autolaunchProgram;
}

void SkipHopelessSessionBusSearch() {
  const char* runtime = g_getenv("XDG_RUNTIME_DIR");
  std::string socket;
  if (runtime && *runtime) {
    gchar* path = g_build_filename(runtime, "bus", nullptr);
    socket = path;
    g_free(path);
  }
  gchar* launcher = g_find_program_in_path("dbus-launch");
  const bool autolaunch = launcher != nullptr;
  g_free(launcher);
  // An address of a transport nobody serves: GLib refuses it without
  // starting anything.
  if (!SessionBusFindable(g_getenv("DBUS_SESSION_BUS_ADDRESS"), socket, autolaunch))
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", TRUE);
}

}  // namespace ui::gtk
