#pragma once

#include <chrono>
#include <string>

namespace ui::gtk {

// The browser's data and cache folders of this process. One copy of the
// client at a time uses a profile: two engines writing one cookie database
// and one local storage lose each other's writes.
struct DataProfile {
  std::string data;
  std::string cache;
  int lock = -1;  // held for the life of the process
};

// The profile `name` under the two folders when it is free, waiting up to
// `wait` for a copy that is ending (a restart starts the fresh copy first).
// Otherwise the first free of `name`-2, `name`-3, ..., made if need be and
// kept for the next time. Free means its lock can be had and no engine
// process still has files open in it.
DataProfile TakeDataProfile(const std::string& dataBase, const std::string& cacheBase, const std::string& name,
                            std::chrono::milliseconds wait);

}  // namespace ui::gtk
