#pragma once

#include <cstdint>
#include <vector>

namespace ui {

// A decoded picture in memory: rows top-down, bytes in blue, green, red,
// alpha order for 32 bits per pixel.
struct PixelImage {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  int pitch = 0;  // bytes per row
  std::vector<std::uint8_t> pixels;

  bool Empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
};

}  // namespace ui
