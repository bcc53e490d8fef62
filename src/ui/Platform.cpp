#include "Platform.h"

#include <cstdlib>

namespace ui {
namespace {
Platform* g_platform = nullptr;
}

Platform& GetPlatform() {
  if (!g_platform) std::abort();  // a platform is installed before any window exists
  return *g_platform;
}

void SetPlatform(Platform* platform) { g_platform = platform; }

Platform* CurrentPlatform() { return g_platform; }

}  // namespace ui
