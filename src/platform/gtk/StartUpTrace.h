#pragma once

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace ui::gtk {

// Start-up moments on standard error, "kqv-trace EVENT MS" with MS on
// CLOCK_MONOTONIC, for bench/startup to line up with its own clock; only
// when KQV_TRACE_STARTUP is set, so a normal run prints nothing and pays one
// cached check. Shared with the web-process extension, whose process
// inherits the environment.
inline bool StartUpTraceWanted() {
  static const bool wanted = [] {
    const char* value = std::getenv("KQV_TRACE_STARTUP");
    return value && *value && *value != '0';
  }();
  return wanted;
}

inline void TraceStartUp(const char* event) {
  if (!StartUpTraceWanted()) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "kqv-trace %s %.1f\n", event,
               static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6);
  std::fflush(stderr);
}

}  // namespace ui::gtk
