#include "platform/gtk/EngineWarmUp.h"

#include <dlfcn.h>

#include <cstdint>
#include <mutex>
#include <thread>

namespace ui::gtk {
namespace {

// EGL's own types and the one constant needed, so that no EGL headers or
// link-time dependency come with it.
using EglDisplay = void*;
using GetPlatformDisplay = EglDisplay (*)(unsigned platform, void* nativeDisplay, const std::intptr_t* attributes);
using Initialize = unsigned (*)(EglDisplay display, int* major, int* minor);
constexpr unsigned kPlatformSurfacelessMesa = 0x31DD;

void WarmUp() {
  void* egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!egl) return;
  auto getDisplay = reinterpret_cast<GetPlatformDisplay>(dlsym(egl, "eglGetPlatformDisplay"));
  auto initialize = reinterpret_cast<Initialize>(dlsym(egl, "eglInitialize"));
  if (!getDisplay || !initialize) return;
  // A display needing no window system: initialising it loads the driver.
  // It is never terminated, which would unload the driver again; the
  // library stays loaded for the engine.
  EglDisplay display = getDisplay(kPlatformSurfacelessMesa, nullptr, nullptr);
  int major = 0, minor = 0;
  if (display) initialize(display, &major, &minor);
}

struct WarmUpThread {
  std::mutex mutex;
  std::thread thread;
  ~WarmUpThread() {
    // A client that ends before its first page still waits for the thread,
    // which is never left running into the process's exit.
    if (thread.joinable()) thread.join();
  }
};

WarmUpThread& State() {
  static WarmUpThread state;
  return state;
}

}  // namespace

void StartEngineWarmUp() {
  WarmUpThread& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.thread.joinable()) state.thread = std::thread(WarmUp);
}

void FinishEngineWarmUp() {
  WarmUpThread& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.thread.joinable()) state.thread.join();
}

}  // namespace ui::gtk
