#include "platform/gtk/WebProcessGuard.h"

namespace ui::gtk {

bool RestartWindow::Allow(Clock::time_point now) {
  while (!m_restarts.empty() && now - m_restarts.front() >= kWindow) m_restarts.pop_front();
  if (static_cast<int>(m_restarts.size()) >= kLimit) return false;
  m_restarts.push_back(now);
  return true;
}

namespace {

// A plain platform page's process takes 160-230 MB; a game page with its
// pictures, sounds and script heap a few hundred more. 2 GiB leaves a heavy
// game page about three times its room, yet stops a page that allocates
// without end (300 MB a second and more) within seconds, long before it
// pushes the player's machine into swapping.
constexpr unsigned kLimitMiB = 2048;
// The engine gives memory back (caches, a collection) from half the bound,
// and at every check from three quarters; below 1 GiB a game page runs
// undisturbed.
constexpr double kConservative = 0.5;
constexpr double kStrict = 0.75;
// At the bound itself the process is stopped.
constexpr double kKill = 1.0;
// The engine's own 30 s between checks would let such a page grow by 9 GB
// first; one look a second costs a read of the process's memory figures.
constexpr double kPollSeconds = 1.0;

}  // namespace

WebKitMemoryPressureSettings* NewWebProcessMemorySettings() {
  WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_memory_limit(settings, kLimitMiB);
  // Each threshold must stay above the one below it at every step: the
  // defaults are 0.33 and 0.5, and the kill threshold 0 (never).
  webkit_memory_pressure_settings_set_kill_threshold(settings, kKill);
  webkit_memory_pressure_settings_set_strict_threshold(settings, kStrict);
  webkit_memory_pressure_settings_set_conservative_threshold(settings, kConservative);
  webkit_memory_pressure_settings_set_poll_interval(settings, kPollSeconds);
  return settings;
}

}  // namespace ui::gtk
