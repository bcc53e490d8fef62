#include "ScreenPixels.h"

#include <cstdint>
#include <optional>

#include "ui/Platform.h"

namespace wine_tests {

Pixels FromBitmap(HDC dc, HBITMAP bitmap, int width, int height) {
  Pixels pixels{width, height, std::vector<COLORREF>(static_cast<size_t>(width) * height)};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> bgra(static_cast<size_t>(width) * height * 4);
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
  for (size_t i = 0; i < pixels.at.size(); ++i) pixels.at[i] = RGB(bgra[i * 4 + 2], bgra[i * 4 + 1], bgra[i * 4]);
  return pixels;
}

Pixels Grab(const RECT& r) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, previous);
  Pixels pixels = FromBitmap(screen, bitmap, r.right - r.left, r.bottom - r.top);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

Pixels PngPixels(int id) {
  Pixels pixels;
  auto bytes = ui::GetPlatform().FindResource(ui::ResourceType::Png, id);
  auto image = bytes ? ui::GetPlatform().DecodePng(*bytes) : std::nullopt;
  if (!image) return pixels;
  pixels.width = image->width;
  pixels.height = image->height;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const std::uint8_t* p = &image->pixels[static_cast<size_t>(y) * image->pitch + x * 4];
      pixels.at.push_back(RGB(p[2], p[1], p[0]));
    }
  }
  return pixels;
}

}  // namespace wine_tests
