#include "platform/gtk/PngDecoder.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace ui::gtk {

std::optional<PixelImage> DecodePngBgra(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0) return std::nullopt;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, data, size)) return std::nullopt;
  png.format = PNG_FORMAT_BGRA;
  PixelImage image;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.bitsPerPixel = 32;
  image.pitch = image.width * 4;
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), image.pitch, nullptr)) {
    png_image_free(&png);
    return std::nullopt;
  }
  return image;
}

PngDecodedAhead::PngDecodedAhead(std::vector<Source> sources) {
  // The largest first: it is the one most worth having ready.
  std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.size > b.size; });
  for (const Source& source : sources) {
    Entry entry;
    entry.source = source;
    m_entries.push_back(std::move(entry));
  }
  if (m_entries.empty()) return;
  m_thread = std::thread([this] {
    for (std::size_t i = 0;; ++i) {
      Source source;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (i >= m_entries.size()) return;
        source = m_entries[i].source;
      }
      std::optional<PixelImage> image = DecodePngBgra(source.data, source.size);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_entries[i].image = std::move(image);
      m_entries[i].done = true;
      m_decoded.notify_all();
    }
  });
}

PngDecodedAhead::~PngDecodedAhead() { Forget(); }

std::optional<std::optional<PixelImage>> PngDecodedAhead::Take(const std::uint8_t* data, std::size_t size) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (Entry& entry : m_entries) {
    if (entry.taken || entry.source.size != size || std::memcmp(entry.source.data, data, size) != 0) continue;
    m_decoded.wait(lock, [&] { return entry.done; });
    std::optional<PixelImage> image = std::move(entry.image);
    entry.image.reset();
    entry.taken = true;  // a later decode of the same bytes is done afresh
    return image;
  }
  return std::nullopt;
}

void PngDecodedAhead::Forget() {
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries.clear();
}

}  // namespace ui::gtk
