// Reports each top-level window of the display as it is first mapped, one
// line each, on stdout:
//
//   map <CLOCK_MONOTONIC ns> <_NET_WM_PID or 0> <transient 0|1> <width> <height> <window id>
//
// The first line, "ready", comes once the watch is in place. Ends when its
// standard input closes.
//
// A window is watched from its CreateNotify on the root on. Its own MapNotify
// is the moment counted: with a reparenting window manager that is when the
// manager maps the client window into its frame, the same step for every
// program measured.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <set>

namespace {

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // windows may go at any time

unsigned long WindowPid(Display* display, Window window) {
  static const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  unsigned long pid = 0;
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
          Success &&
      data && format == 32 && count == 1) {
    pid = *reinterpret_cast<unsigned long*>(data);
  }
  if (data) XFree(data);
  return pid;
}

void Report(Display* display, Window window, long long at) {
  Window transientFor = None;
  const bool transient = XGetTransientForHint(display, window, &transientFor) && transientFor != None;
  Window root = None;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth);
  std::printf("map %lld %lu %d %u %u 0x%lx\n", at, WindowPid(display, window), transient ? 1 : 0, width, height,
              window);
  std::fflush(stdout);
}

}  // namespace

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "map_watch: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(IgnoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);
  std::printf("ready\n");
  std::fflush(stdout);

  std::set<Window> watched, reported;
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  for (;;) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      const long long at = NowNs();
      if (event.type == CreateNotify && event.xcreatewindow.parent == root && !event.xcreatewindow.override_redirect) {
        const Window window = event.xcreatewindow.window;
        watched.insert(window);
        XSelectInput(display, window, StructureNotifyMask);
        // Mapped before the watch was in place: count it now.
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state != IsUnmapped &&
            reported.insert(window).second) {
          Report(display, window, at);
        }
      } else if (event.type == MapNotify && event.xmap.event == event.xmap.window && watched.count(event.xmap.window) &&
                 reported.insert(event.xmap.window).second) {
        Report(display, event.xmap.window, at);
      } else if (event.type == DestroyNotify && event.xdestroywindow.event == event.xdestroywindow.window) {
        watched.erase(event.xdestroywindow.window);
        reported.erase(event.xdestroywindow.window);
      }
    }
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char buffer[64];
      if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) break;
    }
  }
  XCloseDisplay(display);
  return 0;
}
