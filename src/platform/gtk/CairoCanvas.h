#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pango.h>

#include "ui/Canvas.h"

namespace ui::gtk {

// A decoded picture kept as a premultiplied cairo image surface.
class CairoPicture : public Picture {
 public:
  explicit CairoPicture(GdkPixbuf* pixbuf);  // null: a picture that is not Ok()
  ~CairoPicture() override;
  CairoPicture(const CairoPicture&) = delete;
  CairoPicture& operator=(const CairoPicture&) = delete;

  int Width() const override { return m_surface ? cairo_image_surface_get_width(m_surface) : 0; }
  int Height() const override { return m_surface ? cairo_image_surface_get_height(m_surface) : 0; }
  bool Ok() const override { return m_surface != nullptr; }
  cairo_surface_t* Surface() const { return m_surface; }

 private:
  cairo_surface_t* m_surface = nullptr;
};

// Drawing through cairo and Pango onto whatever the context targets.
class CairoCanvas : public Canvas {
 public:
  explicit CairoCanvas(cairo_t* cr) : m_cr(cr) {}

  void DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) override;
  void DrawIcon(int iconId, int x, int y, int cx, int cy) override;
  void DrawText(const std::string& text, const Font& font, Color color, const Rect& layout, TextAlign horizontal,
                TextAlign vertical, bool noWrap) override;
  void FillRect(const Rect& rect, Color color) override;

 private:
  cairo_t* m_cr;
};

// The Pango description text is drawn with: the face, or the faces standing
// in for it, at the font's pixel height (one logical pixel per pixel) and
// weight. Free it with pango_font_description_free.
PangoFontDescription* FontDescription(const Font& font);

// A surface of the pixbuf's pixels, premultiplied.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf);

}  // namespace ui::gtk
