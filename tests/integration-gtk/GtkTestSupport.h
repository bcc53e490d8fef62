#pragma once

#include <glib.h>

#include <chrono>
#include <functional>
#include <string>

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

// The private home of this test run (data and cache directories inside).
const std::string& TestHome();

// Where the system browser of the test run writes the addresses it opens.
std::string OpenedPagesFile();
void InstallSystemBrowser();

}  // namespace kqvtest
