// The game window's browser with the engine's hardware acceleration never
// used (the client's setting) against acceleration on demand, on a page that
// keeps a full-window canvas busy, as canvas and WebGL games do. Needs a
// display:
//
//   tools/xsession.sh run -- build/linux/bench/canvas_acceleration [rounds]
//
// Each run is a process of its own (the engine reads the compositing choice
// once per process), the two settings taking turns. For each: the frames the
// page drew a second over 4 s after a 1 s warm-up. Prints the medians and
// their ratio; the figures decide the setting, nothing here fails on them.
#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPlatform.h"
#include "ui/Browser.h"
#include "ui/Window.h"

namespace {

class Host : public ui::Dialog {
 public:
  Host() : ui::Dialog(134) {}
};

// 3000 translucent rotated squares and a text line each frame; the title
// reports the frame rate once measured.
const char kPage[] =
    "data:text/html,<body style='margin:0;overflow:hidden'><canvas id=c></canvas><script>"
    "var c=document.getElementById('c');c.width=innerWidth;c.height=innerHeight;var g=c.getContext('2d');"
    "var n=0,t0=0,frames=0;function f(t){if(!t0)t0=t;var s=(t-t0)/1000;"
    "g.fillStyle='%231a1412';g.fillRect(0,0,c.width,c.height);"
    "for(var i=0;i<3000;i++){g.save();g.translate((i*37+n*3)%25c.width,(i*91+n*2)%25c.height);"
    "g.rotate(i+n/30);g.fillStyle='rgba('+(i%25255)+',120,'+(255-i%25255)+',0.6)';g.fillRect(-8,-8,16,16);g.restore();}"
    "g.fillStyle='white';g.font='20px sans-serif';g.fillText('frame '+n,20,40);n++;"
    "if(s>=1)frames++;if(s>=5){document.title='fps:'+(frames/4).toFixed(1);return;}requestAnimationFrame(f);}"
    "requestAnimationFrame(f);</script>";

// One measurement in this process; prints the frame rate on stdout.
int Measure(bool onDemand) {
  ui::SetPlatform(new ui::gtk::GtkPlatform({}));
  Host host;
  host.Create(nullptr);
  host.MoveWindow(ui::Rect::FromXYWH(0, 0, 1280, 720));
  host.ShowWindow(ui::ShowCommand::Show);
  ui::BrowserEvents events;
  auto browser = host.Peer().CreateBrowser(102, {0, 0, 1280, 720}, events);
  WebKitWebView* view = dynamic_cast<ui::gtk::GtkBrowser&>(*browser).View();
  webkit_settings_set_hardware_acceleration_policy(
      webkit_web_view_get_settings(view),
      onDemand ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ON_DEMAND : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  browser->Navigate(kPage);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  std::string title;
  while (std::chrono::steady_clock::now() < end) {
    g_main_context_iteration(nullptr, FALSE);
    title = browser->Title();
    if (title.rfind("fps:", 0) == 0) break;
    g_usleep(1000);
  }
  browser.reset();
  host.DestroyWindow();
  if (title.rfind("fps:", 0) != 0) return 3;
  std::printf("%s\n", title.c_str() + 4);
  return 0;
}

bool RunChild(const char* self, bool onDemand, double& fps) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    if (onDemand) {
      setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "0", 1);
    } else {
      setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    }
    execl(self, self, onDemand ? "--measure=on-demand" : "--measure=never", nullptr);
    _exit(127);
  }
  close(pipefd[1]);
  char buffer[128] = {};
  const ssize_t n = read(pipefd[0], buffer, sizeof buffer - 1);
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return n > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::sscanf(buffer, "%lf", &fps) == 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], "--measure=", 10) == 0) {
    if (!gtk_init_check(&argc, &argv)) return 2;
    return Measure(std::strcmp(argv[1] + 10, "on-demand") == 0);
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<double> fps[2];
  for (int round = 0; round < rounds; ++round) {
    for (const bool onDemand : {round % 2 == 1, round % 2 == 0}) {
      double f = 0;
      if (!RunChild("/proc/self/exe", onDemand, f)) {
        std::fprintf(stderr, "a %s run failed\n", onDemand ? "on-demand" : "never");
        return 2;
      }
      fps[onDemand].push_back(f);
      std::printf("round %d %-9s %6.1f frames/s\n", round + 1, onDemand ? "on-demand" : "never", f);
      std::fflush(stdout);
    }
  }
  const double never = Median(fps[0]), onDemand = Median(fps[1]);
  std::printf("medians: never %.1f frames/s, on demand %.1f frames/s; on demand / never %.2f\n", never, onDemand,
              never > 0 ? onDemand / never : 0);
  return 0;
}
