// Drawing with GDI+ onto a memory surface: pictures, text and icons land
// where and as asked.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/Gdiplus.h"
#include "ui/PageText.h"
#include "ui/Platform.h"

using ui::TextAlign;

namespace {

// A black 32-bit surface with its pixels in reach.
class Surface {
 public:
  Surface(int width, int height) : m_width(width), m_height(height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
    m_previous = SelectObject(m_dc, m_bitmap);
  }
  ~Surface() {
    SelectObject(m_dc, m_previous);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  HDC Dc() const { return m_dc; }
  // 0x00RRGGBB
  std::uint32_t At(int x, int y) const {
    GdiFlush();
    return m_bits[y * m_width + x] & 0xFFFFFF;
  }
  // The box around every pixel that is not black; empty when there is none.
  RECT Lit() const {
    RECT box{m_width, m_height, 0, 0};
    for (int y = 0; y < m_height; ++y) {
      for (int x = 0; x < m_width; ++x) {
        if (At(x, y))
          box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                 std::max<LONG>(box.bottom, y + 1)};
      }
    }
    return box;
  }
  std::vector<std::uint32_t> Pixels() const {
    GdiFlush();
    return {m_bits, m_bits + m_width * m_height};
  }

 private:
  int m_width, m_height;
  HDC m_dc;
  HBITMAP m_bitmap;
  HGDIOBJ m_previous;
  std::uint32_t* m_bits = nullptr;
};

std::uint32_t BitmapPixel(HBITMAP bitmap, int width, int height, int x, int y) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(static_cast<size_t>(width * height));
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  return pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF;
}

TEST(Canvas, DrawsAPartOfAPictureAtItsPlace) {
  auto strip = ui::GetPlatform().LoadPicture(ui::ResourceType::Bitmap, 161);  // three 20 x 20 cells
  ASSERT_TRUE(strip->Ok());
  HBITMAP reference = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(161));
  Surface surface(40, 40);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawPicture(*strip, ui::Rect::FromXYWH(10, 12, 20, 20), ui::Rect::FromXYWH(40, 0, 20, 20));
  }
  int same = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) same += surface.At(10 + x, 12 + y) == BitmapPixel(reference, 60, 20, 40 + x, y);
  }
  EXPECT_GE(same, 20 * 20 - 20) << "the third cell, one to one";
  EXPECT_EQ(surface.At(5, 5), 0u) << "nothing outside the destination";
  EXPECT_EQ(surface.At(35, 35), 0u);
  DeleteObject(reference);
}

TEST(Canvas, StretchesASampleOverTheDestination) {
  auto strip = ui::GetPlatform().LoadPicture(ui::ResourceType::Bitmap, 165);
  ASSERT_TRUE(strip->Ok());
  HBITMAP reference = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(165));
  const std::uint32_t sample = BitmapPixel(reference, 123, 20, 20, 10);
  Surface surface(60, 60);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawPicture(*strip, ui::Rect::FromXYWH(10, 10, 40, 40), ui::Rect::FromXYWH(20, 10, 1, 1));
  }
  // The platform's default interpolation may mix in a little of the
  // neighbours.
  const std::uint32_t centre = surface.At(30, 30);
  for (int shift : {0, 8, 16}) EXPECT_NEAR((centre >> shift) & 0xFF, (sample >> shift) & 0xFF, 6) << shift;
  EXPECT_EQ(surface.At(5, 30), 0u);
  DeleteObject(reference);
}

RECT DrawnText(const std::string& text, TextAlign horizontal, const ui::Rect& layout,
               ui::Color color = {255, 255, 255, 255}) {
  Surface surface(200, 100);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawText(text, {"宋体", 12, 700}, color, layout, horizontal, TextAlign::Near, true);
  }
  return surface.Lit();
}

TEST(Canvas, TextKeepsToItsAlignmentInTheBox) {
  const ui::Rect box{10, 10, 190, 40};
  const struct {
    TextAlign align;
    const char* name;
  } cases[] = {{TextAlign::Near, "near"}, {TextAlign::Center, "center"}, {TextAlign::Far, "far"}};
  for (const auto& c : cases) {
    const RECT lit = DrawnText("Qelunar 游戏", c.align, box);
    ASSERT_LT(lit.left, lit.right) << c.name << ": something was drawn";
    EXPECT_GE(lit.left, box.left) << c.name;
    EXPECT_LE(lit.right, box.right) << c.name;
    EXPECT_GE(lit.top, box.top) << c.name;
    EXPECT_LE(lit.bottom, box.bottom) << c.name;
    const int middle = (lit.left + lit.right) / 2;
    switch (c.align) {
      case TextAlign::Near:
        EXPECT_LE(lit.left, box.left + 4) << c.name;
        break;
      case TextAlign::Center:
        EXPECT_NEAR(middle, (box.left + box.right) / 2, 4) << c.name;
        break;
      case TextAlign::Far:
        EXPECT_GE(lit.right, box.right - 5) << c.name;
        break;
    }
  }
}

TEST(Canvas, TextWithoutABoxStartsAtItsCorner) {
  const RECT lit = DrawnText("刷新", TextAlign::Near, ui::Rect{97, 15, 97, 15});
  ASSERT_LT(lit.left, lit.right);
  EXPECT_GE(lit.left, 97);
  EXPECT_LE(lit.left, 101);
  EXPECT_GE(lit.top, 15);
  EXPECT_LE(lit.top, 22);
}

TEST(Canvas, ChineseTextHasItsOwnGlyphs) {
  // A missing font shows every character as the same box.
  auto glyph = [](const char* text) {
    Surface surface(40, 40);
    {
      ui::win32::GdiplusCanvas canvas(surface.Dc());
      canvas.DrawText(text, {"宋体", 16, 400}, {255, 255, 255, 255}, {4, 4, 36, 36}, TextAlign::Near, TextAlign::Near,
                      true);
    }
    return surface.Pixels();
  };
  const auto first = glyph("游");
  const auto second = glyph("戏");
  EXPECT_NE(std::count(first.begin(), first.end(), 0u), static_cast<long>(first.size()));
  EXPECT_NE(first, second);
}

std::vector<std::uint32_t> DrawnPixels(const std::string& text, const ui::Rect& box, bool noWrap) {
  Surface surface(240, 60);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawText(text, {"宋体", 12, 400}, {255, 255, 255, 255}, box, TextAlign::Near, TextAlign::Near, noWrap);
  }
  return surface.Pixels();
}

// A page's 64 KB name or title without a break point is laid out only as far
// as its first characters: it draws as they draw, and within its box.
TEST(Canvas, AnUnbreakableTextOf64KBDrawsAsItsFirstCharacters) {
  std::string text, head;
  while (text.size() < 65536) text += "W";
  for (std::size_t i = 0; i < ui::kMaxLaidOutChars; ++i) head += "W";
  for (const bool noWrap : {true, false}) {
    const ui::Rect box{10, 10, 120, 40};
    const auto drawn = DrawnPixels(text, box, noWrap);
    EXPECT_EQ(drawn, DrawnPixels(head, box, noWrap)) << noWrap;
    int outside = 0, inside = 0;
    for (int i = 0; i < static_cast<int>(drawn.size()); ++i) {
      const int x = i % 240, y = i / 240;
      if (!(drawn[i] & 0xFFFFFF)) continue;
      (x >= box.left && x < box.right && y >= box.top && y < box.bottom ? inside : outside) += 1;
    }
    EXPECT_GT(inside, 20) << noWrap;
    EXPECT_EQ(outside, 0) << (noWrap ? "on one line" : "wrapped");
  }
}

// The isolate marks around a page's name draw nothing of their own (Wine's
// GDI+ drew them as boxes).
TEST(Canvas, IsolateMarksAroundANameDrawNothing) {
  const ui::Rect box{4, 4, 236, 30};
  EXPECT_EQ(DrawnPixels("\u2068小美\u2069 正在和您通话", box, true), DrawnPixels("小美 正在和您通话", box, true));
  EXPECT_EQ(DrawnPixels("\u2066a\u2067b\u2069\u2069", box, true), DrawnPixels("ab", box, true));
}

TEST(Canvas, TextTakesItsColour) {
  Surface surface(200, 60);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawText("VIP专员", {"宋体", 28, 700}, {207, 255, 191, 255}, {5, 5, 195, 55}, TextAlign::Near,
                    TextAlign::Near, true);
  }
  // Edges are smoothed; the inside of the strokes has the colour itself.
  int solid = 0;
  for (std::uint32_t pixel : surface.Pixels()) {
    const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    solid += std::abs(r - 207) <= 8 && std::abs(g - 255) <= 8 && std::abs(b - 191) <= 8;
  }
  EXPECT_GT(solid, 20) << "solid strokes in the label colour";
}

TEST(Canvas, IconLandsInItsSquare) {
  Surface surface(64, 64);
  {
    ui::win32::GdiplusCanvas canvas(surface.Dc());
    canvas.DrawIcon(7, 20, 24, 16, 16);
  }
  const RECT lit = surface.Lit();
  ASSERT_LT(lit.left, lit.right) << "the icon was drawn";
  EXPECT_GE(lit.left, 20);
  EXPECT_GE(lit.top, 24);
  EXPECT_LE(lit.right, 36);
  EXPECT_LE(lit.bottom, 40);
}

}  // namespace
