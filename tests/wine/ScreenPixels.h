#pragma once
// Pixels read back from the screen and from the executable's pictures, for
// the Wine tests that judge what a window shows.

#include <vector>

#include "platform/win32/WinApi.h"

namespace wine_tests {

struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> at;
  COLORREF Get(int x, int y) const { return at[static_cast<size_t>(y) * width + x]; }
};

// A bitmap's pixels, top row first.
Pixels FromBitmap(HDC dc, HBITMAP bitmap, int width, int height);
// One copy of a screen rectangle, read from the X server through Wine.
Pixels Grab(const RECT& r);
// A PNG resource of the executable, straight colours; empty when missing.
Pixels PngPixels(int id);

}  // namespace wine_tests
