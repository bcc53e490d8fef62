#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "ui/PixelImage.h"

namespace ui::gtk {

// PNG bytes as straight blue, green, red, alpha rows, top-down (libpng's
// own conversion, safe on any thread); nothing when they are no PNG.
std::optional<PixelImage> DecodePngBgra(const std::uint8_t* data, std::size_t size);

// Pictures decoded ahead on a thread of their own while the GUI thread
// builds the first windows. A decode asked for later takes the result
// (waiting for it if need be); what nobody asked for is dropped at Forget.
class PngDecodedAhead {
 public:
  struct Source {
    const std::uint8_t* data;
    std::size_t size;
  };
  explicit PngDecodedAhead(std::vector<Source> sources);
  ~PngDecodedAhead();
  PngDecodedAhead(const PngDecodedAhead&) = delete;
  PngDecodedAhead& operator=(const PngDecodedAhead&) = delete;

  // The picture of exactly these bytes, if it was one of the sources and
  // has not been taken yet.
  std::optional<std::optional<PixelImage>> Take(const std::uint8_t* data, std::size_t size);
  // Waits for the thread and drops every result not taken.
  void Forget();

 private:
  struct Entry {
    Source source;
    bool done = false;
    bool taken = false;
    std::optional<PixelImage> image;
  };
  std::mutex m_mutex;
  std::condition_variable m_decoded;
  std::vector<Entry> m_entries;
  std::thread m_thread;
};

}  // namespace ui::gtk
