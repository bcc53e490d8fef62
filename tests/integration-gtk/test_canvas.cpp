// The cairo canvas the frame paints with, judged by the pixels it leaves.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <array>
#include <string>

#include "platform/gtk/CairoCanvas.h"
#include "ui/PageText.h"
#include "ui/Platform.h"

namespace kqvtest {
namespace {

using Rgba = std::array<int, 4>;

class CanvasTest : public testing::Test {
 protected:
  static constexpr int kWidth = 120;
  static constexpr int kHeight = 60;
  static constexpr Rgba kBlank{10, 20, 30, 255};

  void SetUp() override {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 10 / 255.0, 20 / 255.0, 30 / 255.0);
    cairo_paint(cr);
  }
  void TearDown() override {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }

  Rgba At(int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const auto pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
    return {int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF), int(pixel >> 24)};
  }

  // Pixels that are no longer the blank background, and their bounds.
  struct Ink {
    int count = 0;
    ui::Rect bounds{kWidth, kHeight, 0, 0};
  };
  Ink InkOf() {
    Ink ink;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (At(x, y) == kBlank) continue;
        ++ink.count;
        ink.bounds = {std::min(ink.bounds.left, x), std::min(ink.bounds.top, y), std::max(ink.bounds.right, x + 1),
                      std::max(ink.bounds.bottom, y + 1)};
      }
    }
    return ink;
  }

  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
};

// A 4 x 2 picture with a different opaque colour in every pixel.
GdkPixbuf* Checker() {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 4, 2);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      guchar* p = pixels + y * gdk_pixbuf_get_rowstride(pixbuf) + x * 4;
      p[0] = static_cast<guchar>(40 * x + 30);
      p[1] = static_cast<guchar>(100 * y + 50);
      p[2] = static_cast<guchar>(200 - 30 * x);
      p[3] = 255;
    }
  }
  return pixbuf;
}

TEST_F(CanvasTest, PicturePartsAreCopiedAndStretchedWithoutTheirNeighbours) {
  GdkPixbuf* checker = Checker();
  ui::gtk::CairoPicture picture(checker);
  g_object_unref(checker);
  ui::gtk::CairoCanvas canvas(cr);

  // One column stretched over a band: every pixel is that column's colour.
  canvas.DrawPicture(picture, {0, 0, 50, 20}, {2, 1, 3, 2});
  for (const auto& [x, y] : {std::pair{0, 0}, {49, 0}, {25, 10}, {0, 19}, {49, 19}}) {
    EXPECT_EQ(At(x, y), (Rgba{110, 150, 140, 255})) << x << "," << y;
  }
  EXPECT_EQ(At(50, 10), kBlank);
  EXPECT_EQ(At(25, 20), kBlank);

  // At its own size the picture is copied exactly.
  canvas.DrawPicture(picture, {60, 30, 64, 32}, {0, 0, 4, 2});
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(At(60 + x, 30 + y), (Rgba{40 * x + 30, 100 * y + 50, 200 - 30 * x, 255})) << x << "," << y;
    }
  }
  EXPECT_EQ(At(64, 30), kBlank);

  // A picture that could not be made draws nothing.
  ui::gtk::CairoPicture broken(nullptr);
  EXPECT_FALSE(broken.Ok());
  canvas.DrawPicture(broken, {0, 40, 20, 60}, {0, 0, 1, 1});
  EXPECT_EQ(At(5, 45), kBlank);
}

TEST_F(CanvasTest, TextIsDrawnInItsColourAndAlignedInItsBox) {
  ui::gtk::CairoCanvas canvas(cr);
  const ui::Font font{"宋体", 12, 700};
  canvas.DrawText("官网", font, {255, 255, 255, 255}, {20, 10, 100, 50}, ui::TextAlign::Center, ui::TextAlign::Center,
                  true);
  const Ink ink = InkOf();
  ASSERT_GT(ink.count, 20) << "no glyphs: is a CJK font installed?";
  // Inside its box, centred in it.
  EXPECT_GE(ink.bounds.left, 20);
  EXPECT_LE(ink.bounds.right, 100);
  EXPECT_GE(ink.bounds.top, 10);
  EXPECT_LE(ink.bounds.bottom, 50);
  EXPECT_NEAR((ink.bounds.left + ink.bounds.right) / 2.0, 60, 3);
  EXPECT_NEAR((ink.bounds.top + ink.bounds.bottom) / 2.0, 30, 4);
  // Twelve pixels high, two characters wide.
  EXPECT_LE(ink.bounds.Height(), 14);
  EXPECT_GE(ink.bounds.Width(), 18);
  bool white = false;
  for (int y = ink.bounds.top; y < ink.bounds.bottom; ++y) {
    for (int x = ink.bounds.left; x < ink.bounds.right; ++x) white = white || At(x, y) == Rgba{255, 255, 255, 255};
  }
  EXPECT_TRUE(white);
}

TEST_F(CanvasTest, SongFaceIsDrawnInTheMingFaceStandingInForIt) {
  // Every character of a label, Latin ones included, comes from the face
  // the name maps to (tools/setup.sh installs it); other names stay.
  struct Case {
    const char* face;
    int weight;
    const char* drawnIn;
  };
  const Case cases[] = {
      {"宋体", 400, "AR PL UMing CN"},
      {"宋体", 700, "AR PL UMing CN"},
      {"SimSun", 400, "AR PL UMing CN"},
      {"WenQuanYi Micro Hei", 400, "WenQuanYi Micro Hei"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.face) + " " + std::to_string(c.weight));
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description = ui::gtk::FontDescription({c.face, 12, c.weight});
    EXPECT_EQ(pango_font_description_get_size(description), 12 * PANGO_SCALE);
    EXPECT_TRUE(pango_font_description_get_size_is_absolute(description));
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, "VIP专员 官网 KQV", -1);
    PangoLayoutIter* runs = pango_layout_get_iter(layout);
    int count = 0;
    do {
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(runs);
      if (!run) continue;
      PangoFontDescription* used = pango_font_describe(run->item->analysis.font);
      EXPECT_STREQ(pango_font_description_get_family(used), c.drawnIn);
      pango_font_description_free(used);
      ++count;
    } while (pango_layout_iter_next_run(runs));
    pango_layout_iter_free(runs);
    g_object_unref(layout);
    EXPECT_GT(count, 0);
  }
}

TEST_F(CanvasTest, TextWithoutABoxStartsAtItsPoint) {
  ui::gtk::CairoCanvas canvas(cr);
  canvas.DrawText("Title", {"", 12, 400}, {255, 255, 255, 255}, {97, 15, 97, 15}, ui::TextAlign::Near,
                  ui::TextAlign::Near, true);
  const Ink ink = InkOf();
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.bounds.left, 97);
  EXPECT_LE(ink.bounds.left, 100);
  EXPECT_GE(ink.bounds.top, 15);
  // Not cut off at the window's edge by any box: it runs on to the right.
  EXPECT_EQ(ink.bounds.right, kWidth);
}

// A page's name or title of 64 KB without a break point: a wrapped layout of
// all of it took 21 s at every repaint. The canvas lays out only its first
// characters, so it draws exactly what that part draws, inside its box.
TEST_F(CanvasTest, AnUnbreakableLabelOf64KBDrawsAsItsFirstCharacters) {
  struct Case {
    const char* name;
    std::string piece;
    ui::Rect box;
    ui::TextAlign align;
    bool noWrap;
  };
  const Case cases[] = {
      {"wrapped label", "W", {10, 20, 110, 40}, ui::TextAlign::Center, false},
      {"wrapped CJK label", "话", {10, 20, 110, 40}, ui::TextAlign::Center, false},
      {"title on one line", "W", {5, 7, 100, 26}, ui::TextAlign::Near, true},
  };
  const auto draw = [](const Case& c, const std::string& text) {
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* context = cairo_create(target);
    ui::gtk::CairoCanvas canvas(context);
    canvas.DrawText(text, {"宋体", 12, 400}, {255, 255, 255, 255}, c.box, c.align, c.align, c.noWrap);
    cairo_destroy(context);
    cairo_surface_flush(target);
    const auto* data = cairo_image_surface_get_data(target);
    std::string pixels(reinterpret_cast<const char*>(data), cairo_image_surface_get_stride(target) * kHeight);
    cairo_surface_destroy(target);
    return pixels;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string label, head;
    while (label.size() < 65536) label += c.piece;
    for (std::size_t i = 0; i < ui::kMaxLaidOutChars; ++i) head += c.piece;
    const std::string drawn = draw(c, label);
    const std::string expected = draw(c, head);
    int differing = 0;
    for (std::size_t i = 0; i < drawn.size(); i += 4) differing += drawn.compare(i, 4, expected, i, 4) != 0;
    EXPECT_EQ(differing, 0) << "pixels that differ from the first characters' drawing";
    // Something is drawn, and only inside the box.
    int ink = 0;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, kWidth);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (drawn.compare(y * stride + x * 4, 4, std::string(4, '\0')) == 0) continue;
        ++ink;
        EXPECT_TRUE(x >= c.box.left && x < c.box.right && y >= c.box.top && y < c.box.bottom) << x << "," << y;
      }
    }
    EXPECT_GT(ink, 20);
  }
}

TEST_F(CanvasTest, IconAndFillStayInTheirRectangles) {
  ui::gtk::CairoCanvas canvas(cr);
  canvas.DrawIcon(7, 5, 6, 16, 16);
  const Ink icon = InkOf();
  ASSERT_GT(icon.count, 16 * 4) << "the application icon did not draw";
  EXPECT_GE(icon.bounds.left, 5);
  EXPECT_GE(icon.bounds.top, 6);
  EXPECT_LE(icon.bounds.right, 21);
  EXPECT_LE(icon.bounds.bottom, 22);

  canvas.FillRect({30, 0, 40, 5}, {1, 2, 3, 255});
  EXPECT_EQ(At(30, 0), (Rgba{1, 2, 3, 255}));
  EXPECT_EQ(At(39, 4), (Rgba{1, 2, 3, 255}));
  EXPECT_EQ(At(40, 4), kBlank);
  EXPECT_EQ(At(39, 5), kBlank);
}

}  // namespace
}  // namespace kqvtest
