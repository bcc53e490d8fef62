#pragma once

#include <cstdint>
#include <string>

#include "Geometry.h"

namespace ui {

// A picture the platform can draw (decoded once, drawn many times).
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int Width() const = 0;  // 0 when it could not be decoded
  virtual int Height() const = 0;
  virtual bool Ok() const = 0;
};

struct Color {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Color&, const Color&) = default;
};

struct Font {
  std::string face;  // UTF-8
  int pixelHeight = 12;
  int weight = 400;
};

enum class TextAlign { Near, Center, Far };

// Drawing onto an off-screen surface that reaches the screen in one copy.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) = 0;
  virtual void DrawIcon(int iconId, int x, int y, int cx, int cy) = 0;
  // layout empty: draw from its top-left corner without bounds. At most the
  // first kMaxLaidOutChars characters of the text are laid out (PageText.h).
  virtual void DrawText(const std::string& text, const Font& font, Color color, const Rect& layout,
                        TextAlign horizontal, TextAlign vertical, bool noWrap) = 0;
  virtual void FillRect(const Rect& rect, Color color) = 0;
};

}  // namespace ui
