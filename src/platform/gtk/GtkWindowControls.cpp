#include "platform/gtk/GtkWindowPeer.h"

#include <algorithm>

#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPictureButton.h"
#include "platform/gtk/GtkPlatform.h"

namespace ui::gtk {

namespace {

GdkPixbuf* LoadBitmap(int id) {
  auto bytes = GetPlatform().FindResource(ResourceType::Bitmap, id);
  return bytes ? PixbufFromBytes(*bytes, "bmp") : nullptr;
}

}  // namespace

std::unique_ptr<Browser> GtkWindowPeer::CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) {
  if (!m_widget) return nullptr;
  return std::make_unique<GtkBrowser>(*this, controlId, rect, events);
}

void GtkWindowPeer::PlaceChild(GtkWidget* child, const Rect& clientRect) {
  if (!m_container) return;
  auto* placed = static_cast<Rect*>(g_object_get_data(G_OBJECT(child), "kqv-client-rect"));
  if (!placed) {
    placed = new Rect;
    g_object_set_data_full(G_OBJECT(child), "kqv-client-rect", placed,
                           [](gpointer p) { delete static_cast<Rect*>(p); });
  }
  *placed = clientRect;
  gtk_widget_set_size_request(child, std::max(0, clientRect.Width()), std::max(0, clientRect.Height()));
  const int x = clientRect.left + m_insets.left;
  const int y = clientRect.top + m_insets.top;
  if (gtk_widget_get_parent(child) == m_container) {
    gtk_fixed_move(GTK_FIXED(m_container), child, x, y);
  } else {
    gtk_fixed_put(GTK_FIXED(m_container), child, x, y);
  }
}

void GtkWindowPeer::AddControl(int controlId, GtkWidget* child) { m_controls[controlId] = child; }

void GtkWindowPeer::ForgetControl(GtkWidget* child) {
  for (auto it = m_controls.begin(); it != m_controls.end();) {
    it = it->second == child ? m_controls.erase(it) : std::next(it);
  }
}

void GtkWindowPeer::AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) {
  if (!m_widget) return;
  auto& button = m_buttons[controlId];
  if (!button) {
    button = std::make_unique<PictureButton>(*this, controlId);
    PlaceChild(button->area, {});
    AddControl(controlId, button->area);
  }
  GdkPixbuf* normal = LoadBitmap(normalBitmapId);
  button->SetPictures(normal, LoadBitmap(pressedBitmapId));
  if (normal) {
    // Sized to its picture, where it is.
    auto* placed = static_cast<Rect*>(g_object_get_data(G_OBJECT(button->area), "kqv-client-rect"));
    const Point at = placed ? Point{placed->left, placed->top} : Point{};
    PlaceChild(button->area, Rect::FromXYWH(at.x, at.y, gdk_pixbuf_get_width(normal), gdk_pixbuf_get_height(normal)));
  }
}

void GtkWindowPeer::MoveControl(int controlId, const Rect& rect, bool) {
  auto it = m_controls.find(controlId);
  if (it != m_controls.end()) PlaceChild(it->second, rect);
}

}  // namespace ui::gtk
