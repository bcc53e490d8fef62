// The GTK backend's tests need a display (tools/xsession.sh run) and a
// platform installed before any window exists.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

#include "GtkTestSupport.h"
#include "platform/gtk/GtkPlatform.h"

namespace kqvtest {
namespace {
std::string g_home;
}
const std::string& TestHome() { return g_home; }

std::string OpenedPagesFile() { return g_home + "/opened-pages.txt"; }

namespace {
const char* const kOtherHandledTypes[] = {
    "x-scheme-handler/kqvprobe", "x-scheme-handler/ftp",        "x-scheme-handler/smb",
    "x-scheme-handler/data",     "x-scheme-handler/javascript", "text/plain",
};
std::string OtherHandledTypes() {
  std::string list;
  for (const char* type : kOtherHandledTypes) list += std::string(type) + ";";
  return list;
}
}  // namespace

// The "system browser" of this run: a handler that writes each address it is
// given to a file. It is also the desktop's handler of the other schemes and
// of text files, so that a page's address that should never leave the client
// is recorded if it does.
void InstallSystemBrowser() {
  const std::string applications = g_home + "/data/applications";
  const std::string config = g_home + "/config";
  g_mkdir_with_parents(applications.c_str(), 0700);
  g_mkdir_with_parents(config.c_str(), 0700);
  const std::string desktop =
      "[Desktop Entry]\nType=Application\nName=Test browser\n"
      "Exec=/bin/sh -c 'echo \"$1\" >> " +
      OpenedPagesFile() +
      "' sh %u\n"
      "MimeType=x-scheme-handler/http;x-scheme-handler/https;" +
      OtherHandledTypes() + "\n";
  g_file_set_contents((applications + "/kqv-test-browser.desktop").c_str(), desktop.c_str(), -1, nullptr);
  std::string defaults =
      "[Default Applications]\nx-scheme-handler/http=kqv-test-browser.desktop\n"
      "x-scheme-handler/https=kqv-test-browser.desktop\n";
  for (const char* type : kOtherHandledTypes) defaults += std::string(type) + "=kqv-test-browser.desktop\n";
  g_file_set_contents((config + "/mimeapps.list").c_str(), defaults.c_str(), -1, nullptr);
}
}  // namespace kqvtest

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  // Browser data and cache of this run only; GLib reads these once.
  char home[] = "/tmp/kqv-gtk-tests.XXXXXX";
  if (!mkdtemp(home)) return 2;
  kqvtest::g_home = home;
  setenv("XDG_DATA_HOME", (kqvtest::g_home + "/data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (kqvtest::g_home + "/cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (kqvtest::g_home + "/config").c_str(), 1);
  kqvtest::InstallSystemBrowser();
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "no display: run under tools/xsession.sh run\n");
    return 2;
  }
  auto* platform = new ui::gtk::GtkPlatform({"-url", "http://127.0.0.1/x?a=1&b=2"});
  ui::SetPlatform(platform);
  const int result = RUN_ALL_TESTS();
  std::string remove = "rm -rf '" + kqvtest::g_home + "'";
  if (std::system(remove.c_str()) != 0) fprintf(stderr, "could not remove %s\n", home);
  return result;
}
