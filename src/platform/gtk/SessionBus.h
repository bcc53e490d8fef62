#pragma once

#include <string>

namespace ui::gtk {

// Without a session bus address, GLib looks for a bus by starting
// `dbus-launch --autolaunch`, which forks the whole process, and GTK's
// accessibility bridge and the browser engine each ask again on the GUI
// thread during start-up. Where that search can only fail (no address, no
// bus socket in the runtime folder, no dbus-launch), the address is set to
// one that fails at once: the same answer, without the forks. Call before
// gtk_init.
void SkipHopelessSessionBusSearch();

// The rule: whether a session bus could be found from these facts.
bool SessionBusFindable(const char* address, const std::string& runtimeBusSocket, bool autolaunchProgram);

}  // namespace ui::gtk
