#include "launcher/SplashLayout.h"

ui::Point SplashPosition(ui::Size screen, ui::Size picture) {
  return {(screen.cx - picture.cx - 326) / 2, (screen.cy - picture.cy - 190) / 2};
}

void PremultiplyAlpha(ui::PixelImage& image) {
  if (image.bitsPerPixel != 32) return;
  for (int y = 0; y < image.height; ++y) {
    std::uint8_t* pixel = image.pixels.data() + static_cast<std::size_t>(y) * image.pitch;
    for (int x = 0; x < image.width; ++x, pixel += 4) {
      const unsigned alpha = pixel[3];
      for (int channel = 0; channel < 3; ++channel)
        pixel[channel] = static_cast<std::uint8_t>(pixel[channel] * alpha / 255);
    }
  }
}
