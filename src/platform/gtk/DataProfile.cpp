#include "platform/gtk/DataProfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string_view>
#include <thread>
#include <vector>

#include <glib.h>

namespace ui::gtk {

namespace {

constexpr int kMostProfiles = 1000;
constexpr auto kPollEvery = std::chrono::milliseconds(50);

std::string Link(const std::string& path) {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
  return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

// An engine process of a copy that has ended can still be writing its
// profile; engine processes are the ones named "WebKit...".
bool OpenByAnEngine(const std::vector<std::string>& folders) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  const std::string self = std::to_string(getpid());
  bool open = false;
  while (dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    const std::string exe = Link("/proc/" + pid + "/exe");
    const std::string_view base = std::string_view(exe).substr(exe.rfind('/') + 1);
    if (!base.starts_with("WebKit")) continue;
    const std::string fds = "/proc/" + pid + "/fd";
    DIR* dir = opendir(fds.c_str());
    if (!dir) continue;
    while (dirent* fd = readdir(dir)) {
      if (fd->d_name[0] == '.') continue;
      const std::string target = Link(fds + "/" + fd->d_name);
      for (const std::string& folder : folders) {
        if (target.starts_with(folder + "/")) open = true;
      }
      if (open) break;
    }
    closedir(dir);
    if (open) break;
  }
  closedir(proc);
  return open;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// The lock of one profile, if it is free.
int TryTake(const std::string& data, const std::string& cache) {
  if (g_mkdir_with_parents(data.c_str(), 0700) != 0) return -1;
  const std::string path = data + "/lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || OpenByAnEngine({data, cache})) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

DataProfile TakeDataProfile(const std::string& dataBase, const std::string& cacheBase, const std::string& name,
                            std::chrono::milliseconds wait) {
  auto profile = [&](int number) {
    const std::string folder = number == 1 ? name : name + "-" + std::to_string(number);
    return DataProfile{dataBase + "/" + folder, cacheBase + "/" + folder};
  };
  DataProfile first = profile(1);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    first.lock = TryTake(first.data, first.cache);
    if (first.lock >= 0) return first;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollEvery);
  }
  for (int number = 2; number <= kMostProfiles; ++number) {
    DataProfile other = profile(number);
    const bool made = !Exists(other.data);
    other.lock = TryTake(other.data, other.cache);
    if (other.lock >= 0) return other;
    if (made) break;  // a folder that cannot be made or locked: no use going on
  }
  // Nowhere of our own: the first profile, shared as before.
  return first;
}

}  // namespace ui::gtk
