#include "platform/gtk/CairoCanvas.h"

#include <pango/pangocairo.h>

#include <map>
#include <string_view>
#include <tuple>

#include "platform/gtk/GtkPlatform.h"
#include "ui/PageText.h"

namespace ui::gtk {

cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  return surface;
}

CairoPicture::CairoPicture(GdkPixbuf* pixbuf) {
  if (pixbuf) m_surface = SurfaceFromPixbuf(pixbuf);
}

CairoPicture::~CairoPicture() {
  if (m_surface) cairo_surface_destroy(m_surface);
}

namespace {

void SetColor(cairo_t* cr, Color color) {
  cairo_set_source_rgba(cr, color.r / 255.0, color.g / 255.0, color.b / 255.0, color.a / 255.0);
}

// Icons drawn at a given size, decoded and scaled once.
cairo_surface_t* IconSurface(int iconId, int cx, int cy) {
  static std::map<std::tuple<int, int, int>, cairo_surface_t*> cache;
  const auto key = std::make_tuple(iconId, cx, cy);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  cairo_surface_t* surface = nullptr;
  if (auto bytes = GetPlatform().FindResource(ResourceType::Icon, iconId)) {
    if (GdkPixbuf* pixbuf = PixbufFromBytes(*bytes, nullptr)) {
      GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pixbuf, cx, cy, GDK_INTERP_BILINEAR);
      if (scaled) {
        surface = SurfaceFromPixbuf(scaled);
        g_object_unref(scaled);
      }
      g_object_unref(pixbuf);
    }
  }
  cache[key] = surface;
  return surface;
}

// Windows' Song faces, which Linux systems seldom have: Debian's Ming face
// for simplified Chinese in their place (the same style, drawn from
// embedded bitmaps at 12 pixels, so the strokes stay crisp), else the CJK
// face that every set-up has.
constexpr const char* kSongFaces[] = {"宋体", "新宋体", "SimSun", "NSimSun"};
constexpr const char* kSongStandIns = "AR PL UMing CN,WenQuanYi Micro Hei";

}  // namespace

PangoFontDescription* FontDescription(const Font& font) {
  PangoFontDescription* description = pango_font_description_new();
  if (!font.face.empty()) {
    const char* families = font.face.c_str();
    for (const char* song : kSongFaces) {
      if (font.face == song) families = kSongStandIns;
    }
    pango_font_description_set_family(description, families);
  }
  // The height is the character height (em) in pixels, as a Windows font
  // asked for with a negative height.
  pango_font_description_set_absolute_size(description, font.pixelHeight * PANGO_SCALE);
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight > 0 ? font.weight : 400));
  return description;
}

void CairoCanvas::DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) {
  const auto* cairoPicture = dynamic_cast<const CairoPicture*>(&picture);
  if (!cairoPicture || !cairoPicture->Ok() || dest.IsEmpty() || source.IsEmpty()) return;
  // Sample only inside the source rectangle, so a stretched one-pixel strip
  // does not pick up its neighbours at the edges.
  cairo_surface_t* part = cairo_surface_create_for_rectangle(cairoPicture->Surface(), source.left, source.top,
                                                             source.Width(), source.Height());
  cairo_save(m_cr);
  cairo_rectangle(m_cr, dest.left, dest.top, dest.Width(), dest.Height());
  cairo_clip(m_cr);
  cairo_translate(m_cr, dest.left, dest.top);
  cairo_scale(m_cr, static_cast<double>(dest.Width()) / source.Width(),
              static_cast<double>(dest.Height()) / source.Height());
  cairo_set_source_surface(m_cr, part, 0, 0);
  cairo_pattern_set_extend(cairo_get_source(m_cr), CAIRO_EXTEND_PAD);
  cairo_paint(m_cr);
  cairo_restore(m_cr);
  cairo_surface_destroy(part);
}

void CairoCanvas::DrawIcon(int iconId, int x, int y, int cx, int cy) {
  if (cx <= 0 || cy <= 0) return;
  cairo_surface_t* icon = IconSurface(iconId, cx, cy);
  if (!icon) return;
  cairo_save(m_cr);
  cairo_set_source_surface(m_cr, icon, x, y);
  cairo_rectangle(m_cr, x, y, cx, cy);
  cairo_fill(m_cr);
  cairo_restore(m_cr);
}

void CairoCanvas::DrawText(const std::string& text, const Font& font, Color color, const Rect& layout,
                           TextAlign horizontal, TextAlign vertical, bool noWrap) {
  if (text.empty()) return;
  PangoLayout* pango = pango_cairo_create_layout(m_cr);
  PangoFontDescription* description = FontDescription(font);
  pango_layout_set_font_description(pango, description);
  pango_font_description_free(description);
  // Laying out tens of kilobytes without a break takes Pango seconds.
  const std::string_view laidOut = LaidOutPart(text);
  pango_layout_set_text(pango, laidOut.data(), static_cast<int>(laidOut.size()));

  double x = layout.left;
  double y = layout.top;
  if (!layout.IsEmpty()) {
    if (!noWrap) {
      pango_layout_set_width(pango, layout.Width() * PANGO_SCALE);
      pango_layout_set_wrap(pango, PANGO_WRAP_WORD_CHAR);
    }
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(pango, &width, &height);
    const auto offset = [](TextAlign align, int room, int used) {
      return align == TextAlign::Near ? 0.0 : align == TextAlign::Center ? (room - used) / 2.0 : double(room - used);
    };
    if (noWrap)
      x += offset(horizontal, layout.Width(), width);
    else
      pango_layout_set_alignment(pango, horizontal == TextAlign::Near     ? PANGO_ALIGN_LEFT
                                        : horizontal == TextAlign::Center ? PANGO_ALIGN_CENTER
                                                                          : PANGO_ALIGN_RIGHT);
    y += offset(vertical, layout.Height(), height);
    cairo_save(m_cr);
    cairo_rectangle(m_cr, layout.left, layout.top, layout.Width(), layout.Height());
    cairo_clip(m_cr);
  } else {
    cairo_save(m_cr);
  }
  SetColor(m_cr, color);
  cairo_move_to(m_cr, x, y);
  pango_cairo_show_layout(m_cr, pango);
  cairo_restore(m_cr);
  g_object_unref(pango);
}

void CairoCanvas::FillRect(const Rect& rect, Color color) {
  if (rect.IsEmpty()) return;
  cairo_save(m_cr);
  SetColor(m_cr, color);
  cairo_rectangle(m_cr, rect.left, rect.top, rect.Width(), rect.Height());
  cairo_fill(m_cr);
  cairo_restore(m_cr);
}

}  // namespace ui::gtk
