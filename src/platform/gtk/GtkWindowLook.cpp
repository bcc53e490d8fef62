#include "platform/gtk/GtkWindowPeer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include "platform/gtk/CairoCanvas.h"
#include "platform/gtk/DialogTemplates.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeerInternal.h"
#include "platform/gtk/StartUpTrace.h"

namespace ui::gtk {

cairo_region_t* OpaqueRegion(const PixelImage& image, std::uint8_t minAlpha) {
  if (image.Empty() || image.bitsPerPixel != 32) return cairo_region_create();
  // A one-bit mask, built by hand: the region helper of GDK would otherwise
  // count only pixels more than half opaque.
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, image.width, image.height);
  cairo_surface_flush(mask);
  unsigned char* bits = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* in = image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.pitch;
    auto* row = reinterpret_cast<std::uint32_t*>(bits + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < image.width; ++x) {
      if (in[x * 4 + 3] < minAlpha) continue;
        // cairo packs A1 pixels into native-endian 32-bit words.
#if G_BYTE_ORDER == G_LITTLE_ENDIAN
      row[x >> 5] |= 1u << (x & 31);
#else
      row[x >> 5] |= 0x80000000u >> (x & 31);
#endif
    }
  }
  cairo_surface_mark_dirty(mask);
  cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
  cairo_surface_destroy(mask);
  return region;
}

void GtkWindowPeer::Invalidate(bool) {
  if (m_widget) gtk_widget_queue_draw(m_widget);
}

void GtkWindowPeer::AddAppWindowStyle() {
  if (m_widget) gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m_widget), FALSE);
}

Rect GtkWindowPeer::AdjustWindowRect(const Rect& client) const {
  // The standard frame of Windows at 96 dots per inch, which the dialog
  // templates' pixel sizes already follow: a caption of 23 pixels, and a
  // border of 4 around a sizing frame or 3 around a dialog frame.
  constexpr int kCaption = 23, kSizingFrame = 4, kDialogFrame = 3;
  if (!m_template) return client;
  const int frame = m_template->sizingBorder ? kSizingFrame : m_template->caption ? kDialogFrame : 0;
  const int caption = m_template->caption ? kCaption : 0;
  return {client.left - frame, client.top - frame - caption, client.right + frame, client.bottom + frame};
}

void GtkWindowPeer::SetTitle(const std::string& text) {
  m_title = text;
  if (m_widget) gtk_window_set_title(GTK_WINDOW(m_widget), text.c_str());
}

void GtkWindowPeer::SetIcon(int iconId, bool big) {
  (big ? m_bigIcon : m_smallIcon) = iconId;
  if (!m_widget) return;
  auto bytes = GetPlatform().FindResource(ResourceType::Icon, iconId);
  if (!bytes) return;
  if (GdkPixbuf* icon = PixbufFromBytes(*bytes, nullptr)) {
    gtk_window_set_icon(GTK_WINDOW(m_widget), icon);
    g_object_unref(icon);
  }
}

namespace {

// The toolkit hands a top-level window's shape to the display server only
// at its next paint, after the window is on screen: until then the server
// shows all of it, filled with its background. The server is told at once.
void ShapeNow(GtkWidget* widget, const cairo_region_t* region) {
  GdkWindow* window = gtk_widget_get_window(widget);
  if (!window || !GDK_IS_X11_WINDOW(window)) return;
  std::vector<XRectangle> rects(static_cast<std::size_t>(cairo_region_num_rectangles(region)));
  for (std::size_t i = 0; i < rects.size(); ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, static_cast<int>(i), &r);
    rects[i] = XRectangle{static_cast<short>(r.x), static_cast<short>(r.y), static_cast<unsigned short>(r.width),
                          static_cast<unsigned short>(r.height)};
  }
  XShapeCombineRectangles(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window), ShapeBounding, 0, 0, rects.data(),
                          static_cast<int>(rects.size()), ShapeSet, YXBanded);
}

}  // namespace

void GtkWindowPeer::ApplyShape(cairo_region_t* region, bool inputOnly) {
  if (!m_widget) return;
  // Clicks always follow the shape; what is drawn follows it only without a
  // compositor, which would otherwise show transparent pixels as they are.
  gtk_widget_input_shape_combine_region(m_widget, region);
  if (!inputOnly) {
    gtk_widget_shape_combine_region(m_widget, region);
    if (m_boundingShape) cairo_region_destroy(m_boundingShape);
    m_boundingShape = cairo_region_copy(region);
    ShapeNow(m_widget, region);
  }
  gtk_widget_queue_draw(m_widget);  // a new shape shows only at the next draw
}

void UnpremultipliedRow(const std::uint8_t* in, std::uint32_t* out, int width) {
  for (int x = 0; x < width; ++x, in += 4) {
    const unsigned alpha = in[3];
    // Most of a picture is opaque or clear: no division for those.
    if (alpha == 255) {
      out[x] = static_cast<std::uint32_t>(in[2]) << 16 | in[1] << 8 | in[0];
      continue;
    }
    if (alpha == 0) {
      out[x] = 0;
      continue;
    }
    std::uint32_t pixel = 0;
    for (int channel = 0; channel < 3; ++channel) {
      const unsigned value = alpha ? std::min(255u, (in[channel] * 255u + alpha / 2) / alpha) : 0;
      pixel |= value << (8 * channel);
    }
    out[x] = pixel;
  }
}

void GtkWindowPeer::UpdateLayered(const PixelImage& image) {
  if (!m_widget || image.Empty() || image.bitsPerPixel != 32) return;
  const bool composited = IsComposited(m_widget);
  // The picture goes to the display server at once and is kept there, so
  // the process holds its pixels only once (the caller's).
  gtk_widget_realize(m_widget);
  GdkWindow* window = gtk_widget_get_window(m_widget);
  cairo_surface_t* target = gdk_window_create_similar_surface(
      window, composited ? CAIRO_CONTENT_COLOR_ALPHA : CAIRO_CONTENT_COLOR, image.width, image.height);
  cairo_t* cr = cairo_create(target);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (composited && image.pitch == cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width)) {
    // cairo's ARGB32 is premultiplied blue, green, red, alpha in memory on a
    // little-endian machine: the picture's own bytes, read where they are.
    cairo_surface_t* source = cairo_image_surface_create_for_data(
        const_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_ARGB32, image.width, image.height, image.pitch);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(source);
  } else {
    // In bands, so that no second full-size copy is ever made. Without a
    // compositor nothing blends the edge with what lies below, so partial
    // alpha shows the art's own colours and the shape decides the rest.
    constexpr int kBand = 32;
    const cairo_format_t format = composited ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    cairo_surface_t* band = cairo_image_surface_create(format, image.width, kBand);
    unsigned char* data = cairo_image_surface_get_data(band);
    const int stride = cairo_image_surface_get_stride(band);
    for (int top = 0; top < image.height; top += kBand) {
      const int rows = std::min(kBand, image.height - top);
      cairo_surface_flush(band);
      for (int y = 0; y < rows; ++y) {
        const std::uint8_t* in = image.pixels.data() + static_cast<std::ptrdiff_t>(top + y) * image.pitch;
        auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        if (composited) {
          for (int x = 0; x < image.width; ++x, in += 4) {
            out[x] = static_cast<std::uint32_t>(in[3]) << 24 | in[2] << 16 | in[1] << 8 | in[0];
          }
        } else {
          UnpremultipliedRow(in, out, image.width);
        }
      }
      cairo_surface_mark_dirty(band);
      cairo_set_source_surface(cr, band, 0, top);
      cairo_rectangle(cr, 0, top, image.width, rows);
      cairo_fill(cr);
    }
    cairo_surface_destroy(band);
  }
  cairo_destroy(cr);
  cairo_surface_flush(target);
  if (m_layered) cairo_surface_destroy(m_layered);
  m_layered = target;
  ApplyWindowBackground();

  // With a compositor every pixel with any alpha is drawn, blended; without
  // one a pixel is either the art's colour or not part of the window, and
  // the line between them is drawn at half alpha, where the art itself
  // fades out, instead of showing the fade as a dark fringe.
  cairo_region_t* opaque = OpaqueRegion(image, composited ? 1 : 128);
  ApplyShape(opaque, composited);
  cairo_region_destroy(opaque);
  // The picture gives the window its size; the position stays.
  SetWindowRect(Rect::FromXYWH(m_rect.left, m_rect.top, image.width, image.height), false);
}

void GtkWindowPeer::SetBackgroundColor(Color color) {
  m_background = color;
  ApplyWindowBackground();
  if (m_widget) gtk_widget_queue_draw(m_widget);
}

void GtkWindowPeer::ApplyWindowBackground() {
  GdkWindow* window = m_widget ? gtk_widget_get_window(m_widget) : nullptr;
  if (!window) return;  // again once realized
  // The display server fills a newly shown or exposed window with its
  // background before the toolkit draws: the window's colour, never what
  // lay below or a blank.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  if (m_layered) {
    // The picture itself, kept by the server: a layered window shows its
    // art from its first frame, never a blank while the toolkit catches up.
    cairo_pattern_t* picture = cairo_pattern_create_for_surface(m_layered);
    gdk_window_set_background_pattern(window, picture);
    cairo_pattern_destroy(picture);
  } else if (m_background && !m_colorKey) {
    const GdkRGBA colour{m_background->r / 255.0, m_background->g / 255.0, m_background->b / 255.0, 1.0};
    gdk_window_set_background_rgba(window, &colour);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
}

void GtkWindowPeer::OnRealize(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->ApplyWindowBackground();
  // A shape given before the window existed: the toolkit would show the
  // whole window until its first paint.
  if (peer->m_boundingShape) ShapeNow(peer->m_widget, peer->m_boundingShape);
}

void GtkWindowPeer::SetColorKey(Color key) {
  m_colorKey = key;
  UpdateChildShape();
}

void GtkWindowPeer::UpdateChildShape() {
  if (!m_widget || !m_colorKey || m_layered) return;
  // Only the background has the key colour, so the window is what its
  // visible children cover.
  cairo_region_t* region = cairo_region_create();
  GList* children = gtk_container_get_children(GTK_CONTAINER(m_container));
  for (GList* it = children; it; it = it->next) {
    auto* child = GTK_WIDGET(it->data);
    if (!gtk_widget_get_visible(child)) continue;
    GtkAllocation area;
    gtk_widget_get_allocation(child, &area);
    const cairo_rectangle_int_t rect{area.x, area.y, area.width, area.height};
    if (area.width > 0 && area.height > 0) cairo_region_union_rectangle(region, &rect);
  }
  g_list_free(children);
  ApplyShape(region, IsComposited(m_widget));
  cairo_region_destroy(region);
}

void GtkWindowPeer::OnContainerAllocate(GtkWidget*, GdkRectangle*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (!peer->m_destroying) peer->UpdateChildShape();
}

void GtkWindowPeer::SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) {
  if (!m_widget) return;
  const int width = std::max(1, m_rect.Width());
  const int height = std::max(1, m_rect.Height());
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
  cairo_t* cr = cairo_create(mask);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  const double rx = ellipseWidth / 2.0;
  const double ry = ellipseHeight / 2.0;
  const double l = rect.left, t = rect.top, r = rect.right - 1, b = rect.bottom - 1;
  if (rx > 0 && ry > 0) {
    const auto corner = [&](double cx, double cy, double from) {
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, rx, ry);
      cairo_arc(cr, 0, 0, 1, from, from + M_PI / 2);
      cairo_restore(cr);
    };
    cairo_new_path(cr);
    corner(r - rx, t + ry, -M_PI / 2);
    corner(r - rx, b - ry, 0);
    corner(l + rx, b - ry, M_PI / 2);
    corner(l + rx, t + ry, M_PI);
    cairo_close_path(cr);
  } else {
    cairo_rectangle(cr, l, t, r - l, b - t);
  }
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
  cairo_surface_destroy(mask);
  ApplyShape(region, false);
  cairo_region_destroy(region);
}

void GtkWindowPeer::ClipToNonClientBand(cairo_t* cr, int width, int height) const {
  // Four rectangles that do not overlap: a clip cairo keeps as boxes, so
  // filling it costs the band's pixels, not the whole window's.
  cairo_region_t* band = NonClientBand(width, height);
  gdk_cairo_region(cr, band);
  cairo_region_destroy(band);
  cairo_clip(cr);
}

cairo_region_t* GtkWindowPeer::NonClientBand(int width, int height) const {
  const Rect client = ClientRect();
  const int left = std::clamp(m_insets.left, 0, width);
  const int top = std::clamp(m_insets.top, 0, height);
  const int right = std::clamp(m_insets.left + client.Width(), left, width);
  const int bottom = std::clamp(m_insets.top + client.Height(), top, height);
  const cairo_rectangle_int_t whole{0, 0, width, height};
  const cairo_rectangle_int_t inside{left, top, right - left, bottom - top};
  cairo_region_t* band = cairo_region_create_rectangle(&whole);
  cairo_region_subtract_rectangle(band, &inside);
  return band;
}

void GtkWindowPeer::PaintNonClient(const NonClientPainter& paint) {
  if (!m_widget || m_rect.IsEmpty()) return;
  const int width = m_rect.Width();
  const int height = m_rect.Height();
  if (!m_nonClient || cairo_image_surface_get_width(m_nonClient) != width ||
      cairo_image_surface_get_height(m_nonClient) != height) {
    if (m_nonClient) cairo_surface_destroy(m_nonClient);
    m_nonClient = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  }
  // Drawn off screen, client area excluded (it stays clear), and shown in
  // one go.
  cairo_t* cr = cairo_create(m_nonClient);
  ClipToNonClientBand(cr, width, height);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  CairoCanvas canvas(cr);
  // The surface is the whole window, all of it drawn each time.
  paint(canvas, Rect{0, 0, width, height});
  cairo_destroy(cr);
  // Only the band changed; the client area is drawn by its own invalidations.
  cairo_region_t* band = NonClientBand(width, height);
  gtk_widget_queue_draw_region(m_widget, band);
  cairo_region_destroy(band);
}

gboolean GtkWindowPeer::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  if (!peer->m_owner) {
    if (!Backend().MainWindowDrawn()) TraceStartUp("main-window-drawn");
    Backend().NoteMainWindowDrawn();
  }
  if (peer->m_awaitingFrame) {
    // Drawn as shown once a maximise asked for has been carried out.
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!peer->m_zoomed || (gdk_window_get_state(window) & GDK_WINDOW_STATE_MAXIMIZED)) {
      if (!peer->m_owner) TraceStartUp(peer->m_zoomed ? "window-drawn-maximised" : "window-drawn");
      peer->NoteDrawnAsShown();
    }
  }
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (peer->m_layered) {
    // The picture is the whole content, children included.
    cairo_set_source_surface(cr, peer->m_layered, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    return TRUE;
  }
  if (peer->m_colorKey) {
    const Color key = *peer->m_colorKey;
    if (IsComposited(widget))
      cairo_set_source_rgba(cr, 0, 0, 0, 0);
    else
      cairo_set_source_rgb(cr, key.r / 255.0, key.g / 255.0, key.b / 255.0);
  } else if (peer->m_background) {
    const Color colour = *peer->m_background;
    cairo_set_source_rgb(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0);
  } else {
    cairo_set_source_rgb(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0);  // the dialog face colour
  }
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  if (peer->m_nonClient) {
    // Clear inside the client area: only the band is worth compositing.
    peer->ClipToNonClientBand(cr, cairo_image_surface_get_width(peer->m_nonClient),
                              cairo_image_surface_get_height(peer->m_nonClient));
    cairo_set_source_surface(cr, peer->m_nonClient, 0, 0);
    cairo_paint(cr);
  }
  cairo_restore(cr);

  cairo_save(cr);
  const Rect client = peer->ClientRect();
  cairo_translate(cr, peer->m_insets.left, peer->m_insets.top);
  cairo_rectangle(cr, 0, 0, client.Width(), client.Height());
  cairo_clip(cr);
  CairoCanvas canvas(cr);
  peer->Dispatch([] { return std::intptr_t{0}; },
                 [&] {
                   peer->m_window.OnPaint(canvas);
                   return 0;
                 });
  cairo_restore(cr);
  return FALSE;  // the children draw next
}

}  // namespace ui::gtk
