#include "platform/gtk/GtkPlatform.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/gtk/SoupHttp.h"
#include "platform/gtk/VersionBlock.h"
#include "ui/CommandLine.h"

// The system's services: command line, processes, file append, HTTP, the
// system's browser, adapters, version data, the clock.

namespace ui::gtk {

std::string JoinCommandLine(const std::vector<std::string>& args) {
  // The shell has already removed the quotes a Windows program would still
  // see; put them back around everything that is not a switch.
  std::string text;
  for (const std::string& arg : args) {
    if (!text.empty()) text += ' ';
    if (!arg.empty() && arg[0] == '-') {
      text += arg;
    } else {
      text += '"';
      text += arg;
      text += '"';
    }
  }
  return text;
}

std::string GtkPlatform::CommandLineArgs() const { return JoinCommandLine(m_args); }

bool GtkPlatform::StartProcess(const std::string& path, const std::string& arguments) {
  if (path.empty()) return false;
  // The program gets the arguments a Windows program would split from the
  // same command line.
  std::vector<std::string> argv{path};
  for (std::string& argument : SplitCommandLine(arguments)) argv.push_back(std::move(argument));
  GError* error = nullptr;
  std::vector<gchar*> raw;
  for (std::string& arg : argv) raw.push_back(arg.data());
  raw.push_back(nullptr);
  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib reaps the child itself; the caller
  // never waits for it.
  const gboolean ok = g_spawn_async(nullptr, raw.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  g_clear_error(&error);
  return ok;
}

bool GtkPlatform::AppendToExistingFile(const std::string& path, const std::string& bytes) {
  // Only an existing regular file: opening a FIFO for writing would wait for
  // a reader on the GUI thread, so the open never blocks and anything else
  // found under the name is left alone.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

std::string GtkPlatform::HttpGet(const std::string& url, bool readBody, const std::string& userAgent) {
  return SoupHttpGet(url, readBody, userAgent);
}

void GtkPlatform::OpenInSystemBrowser(const std::string& target) {
  if (target.empty()) return;
  std::string uri = target;
  if (target[0] == '/') {
    gchar* fileUri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    if (!fileUri) return;
    uri = fileUri;
    g_free(fileUri);
  }
  GError* error = nullptr;
  g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  g_clear_error(&error);  // failures are silent, as the shell's are
}

std::optional<std::vector<HardwareAddress>> GtkPlatform::AdapterAddresses() const {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<HardwareAddress> addresses;
  std::vector<std::string> seen;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if (entry->ifa_flags & IFF_LOOPBACK) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    if (std::find(seen.begin(), seen.end(), entry->ifa_name) != seen.end()) continue;
    seen.emplace_back(entry->ifa_name);
    HardwareAddress address;
    std::copy(link->sll_addr, link->sll_addr + 6, address.begin());
    addresses.push_back(address);
  }
  freeifaddrs(list);
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

std::unique_ptr<VersionData> GtkPlatform::ReadVersionData(const std::string& path) const {
  // From the file, as Windows reads it: a copy changed on disk answers anew.
  auto block = ReadElfSection(path, kVersionSection);
  if (!block || block->empty()) return nullptr;
  return std::make_unique<VersionBlock>(std::move(*block));
}

SystemTime GtkPlatform::UtcNow() const {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  SystemTime time;
  time.year = utc.tm_year + 1900;
  time.month = utc.tm_mon + 1;
  time.dayOfWeek = utc.tm_wday;
  time.day = utc.tm_mday;
  time.hour = utc.tm_hour;
  time.minute = utc.tm_min;
  time.second = utc.tm_sec;
  time.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
  return time;
}

}  // namespace ui::gtk
