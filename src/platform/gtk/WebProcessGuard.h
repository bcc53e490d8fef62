#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <deque>

namespace ui::gtk {

// How often a page whose process ended is loaded again: at most kLimit
// times within kWindow. Loads that complete in between do not count as
// recovery, so a page that crashes every time it has loaded stops too.
class RestartWindow {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kLimit = 3;
  static constexpr std::chrono::seconds kWindow{60};

  // Records a restart at `now` and answers true, or answers false when
  // kLimit restarts already fall within the window before `now`.
  bool Allow(Clock::time_point now);
  // The player asked for the page again: earlier restarts no longer count.
  void Clear() { m_restarts.clear(); }

 private:
  std::deque<Clock::time_point> m_restarts;
};

// Settings for a web context's construct-only "memory-pressure-settings"
// property, bounding every web process of the context (see the .cpp for the
// numbers and why); the caller frees them.
WebKitMemoryPressureSettings* NewWebProcessMemorySettings();

}  // namespace ui::gtk
