#pragma once

#include <glib.h>
#include <gtk/gtk.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>

#include "ui/Window.h"

namespace kqvtest {

// Runs the GUI thread's events until `done` holds or the time is up; answers
// whether it holds.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

// Runs the events for a while, for things that must NOT happen.
inline void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

// The GTK widget behind a window of the system.
GtkWidget* WidgetOf(ui::Window& window);

// Runs the events until the real window is mapped at `rect` on the screen,
// as the window manager placed it; answers whether it is.
bool ShownAt(ui::Window& window, ui::Rect rect);

// The private home of this test run (data and cache directories inside).
const std::string& TestHome();

// Where the system browser of the test run writes the addresses it opens.
std::string OpenedPagesFile();
void InstallSystemBrowser();

// The screen's pixel as red, green, blue; -1s when it cannot be read.
std::array<int, 3> ScreenPixel(int x, int y);

// Real input through xdotool, sent while this process goes on serving its
// windows (a window manager's move, for one, waits for the window's own
// answer). Fails the test unless xdotool succeeds.
void Xdotool(const std::string& arguments);

}  // namespace kqvtest
