#include "platform/gtk/EngineWarmUp.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ui::gtk {
namespace {

// EGL's own types and the one constant needed, so that no EGL headers or
// link-time dependency come with it.
using EglDisplay = void*;
using GetPlatformDisplay = EglDisplay (*)(unsigned platform, void* nativeDisplay, const std::intptr_t* attributes);
using Initialize = unsigned (*)(EglDisplay display, int* major, int* minor);
using Terminate = unsigned (*)(EglDisplay display);
constexpr unsigned kPlatformSurfacelessMesa = 0x31DD;

void WarmUp() {
  void* egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!egl) return;
  auto getDisplay = reinterpret_cast<GetPlatformDisplay>(dlsym(egl, "eglGetPlatformDisplay"));
  auto initialize = reinterpret_cast<Initialize>(dlsym(egl, "eglInitialize"));
  auto terminate = reinterpret_cast<Terminate>(dlsym(egl, "eglTerminate"));
  if (!getDisplay || !initialize || !terminate) return;
  // A display needing no window system: initialising it loads the driver.
  EglDisplay display = getDisplay(kPlatformSurfacelessMesa, nullptr, nullptr);
  int major = 0, minor = 0;
  if (!display || !initialize(display, &major, &minor)) return;
  // The libraries stay for the engine; the display itself, and the memory
  // it holds, go. Terminating would unload the driver, unless every library
  // loaded by now is marked never to be unloaded first. The names are
  // gathered before any dlopen: opening one while the list is being walked
  // can deadlock with another thread's dlopen.
  std::vector<std::string> loaded;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* names) {
        if (info->dlpi_name && *info->dlpi_name)
          static_cast<std::vector<std::string>*>(names)->emplace_back(info->dlpi_name);
        return 0;
      },
      &loaded);
  for (const std::string& name : loaded) dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  terminate(display);
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
