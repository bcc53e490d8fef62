// How far a page that allocates without end gets before the web-process
// memory bound stops it, at a few growth rates, in the client's own browser
// and web context. Needs a display:
//
//   tools/xsession.sh run -- build/linux/bench/web_memory_bound
//
// For each rate asked of the page: the growth measured (MiB a second, between
// 512 and 1536 MiB), the seconds from the page's load to its process's end,
// the process's resident-memory peak (sampled every 50 ms) and the engine's
// reason. The target: the process ends for its memory, at no more than the
// bound plus 2 s of the measured growth (one check a second, and the time to
// act on it). Exits 1 when a rate misses it.
#include <dirent.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPlatform.h"
#include "ui/Browser.h"
#include "ui/Window.h"

namespace {

constexpr double kBoundMiB = 2048;

class Host : public ui::Dialog {
 public:
  Host() : ui::Dialog(134) {}
};

class Events : public ui::BrowserEvents {
 public:
  void OnDocumentComplete(const std::string&) override { complete = true; }
  bool complete = false;
};

// The newest live web process started by this process.
int WebProcess() {
  int newest = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent == getpid() && state != "Z" && line.compare(open + 1, 15, "WebKitWebProces") == 0 && pid > newest) {
      newest = pid;
    }
  }
  closedir(proc);
  return newest;
}

double ResidentMiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kib = 0;
      status >> kib;
      return kib / 1024;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

bool Pump(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

struct Result {
  bool stopped = false;
  WebKitWebProcessTerminationReason reason = WEBKIT_WEB_PROCESS_CRASHED;
  double seconds = 0;
  double peakMiB = 0;
  double growth = 0;  // MiB a second, measured between 512 MiB and 1536 MiB
};

Result Run(Host& host, int mibPerSecond) {
  Events events;
  auto browser = host.Peer().CreateBrowser(1001, {0, 0, 800, 600}, events);
  WebKitWebView* view = dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View();
  Result result;
  g_signal_connect(view, "web-process-terminated",
                   G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
                     auto* r = static_cast<Result*>(data);
                     r->stopped = true;
                     r->reason = reason;
                   }),
                   &result);
  // 16 MiB each tick, each byte written; it stops by itself at twice the bound.
  const int tickMs = 16 * 1000 / mibPerSecond;
  const std::string page =
      "data:text/html,<script>var kept = []; addEventListener('load', function () { setInterval(function () {"
      " if (kept.length < 256) kept.push(new Uint8Array(16 * 1024 * 1024).fill(7)); }, " +
      std::to_string(tickMs) + "); });</script>";
  browser->Navigate(page);
  if (!Pump([&] { return events.complete; }, std::chrono::seconds(10))) return result;
  const int pid = WebProcess();
  const auto start = std::chrono::steady_clock::now();
  const auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  // The page's real growth, well below the bound where nothing slows it.
  double lowAt = -1, lowMiB = 0;
  Pump(
      [&] {
        const double now = ResidentMiB(pid);
        result.peakMiB = std::max(result.peakMiB, now);
        if (lowAt < 0 && now >= 512) {
          lowAt = since();
          lowMiB = now;
        } else if (lowAt >= 0 && result.growth == 0 && now >= 1536) {
          result.growth = (now - lowMiB) / (since() - lowAt);
        }
        g_usleep(49000);
        return result.stopped;
      },
      std::chrono::seconds(60));
  result.seconds = since();
  if (!result.stopped && pid > 0) kill(pid, SIGKILL);  // never leave it growing
  g_signal_handlers_disconnect_by_data(view, &result);
  browser.reset();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  char home[] = "/tmp/kqv-memory-bench.XXXXXX";
  if (!mkdtemp(home)) return 2;
  setenv("XDG_DATA_HOME", (std::string(home) + "/data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (std::string(home) + "/cache").c_str(), 1);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "no display: run under tools/xsession.sh run\n");
    return 2;
  }
  ui::SetPlatform(new ui::gtk::GtkPlatform({}));
  Host host;
  host.Create(nullptr);
  host.MoveWindow(ui::Rect::FromXYWH(0, 0, 800, 600));
  host.ShowWindow(ui::ShowCommand::Show);  // pages nobody sees get slower timers

  int missed = 0;
  std::printf("%10s %10s %10s %10s %10s  %s\n", "asked", "grew", "stop s", "peak MiB", "target", "reason");
  for (const int rate : {160, 320, 640}) {
    const Result r = Run(host, rate);
    // The bound plus two seconds of the growth measured in the same run.
    const double target = kBoundMiB + r.growth * 2.0;
    const bool met =
        r.stopped && r.reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT && r.growth > 0 && r.peakMiB <= target;
    std::printf("%10d %10.0f %10.1f %10.0f %10.0f  %s%s\n", rate, r.growth, r.seconds, r.peakMiB, target,
                !r.stopped                                             ? "not stopped"
                : r.reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "memory limit"
                                                                       : "other",
                met ? "" : "  MISSED");
    std::fflush(stdout);
    missed += met ? 0 : 1;
  }
  host.DestroyWindow();
  std::string remove = std::string("rm -rf '") + home + "'";
  if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", home);
  return missed ? 1 : 0;
}
