#include "platform/gtk/GtkPictureButton.h"

#include "platform/gtk/GtkWindowPeerInternal.h"

namespace ui::gtk {

GtkWindowPeer::PictureButton::PictureButton(GtkWindowPeer& peer, int id)
    : peer(peer), id(id), area(gtk_drawing_area_new()) {
  g_object_ref_sink(area);
  gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  g_signal_connect(area, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(area, "button-press-event", G_CALLBACK(OnPress), this);
  g_signal_connect(area, "button-release-event", G_CALLBACK(OnRelease), this);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), this);
  gtk_widget_show(area);
}

GtkWindowPeer::PictureButton::~PictureButton() {
  g_signal_handlers_disconnect_by_data(area, this);
  g_object_unref(area);
  SetPictures(nullptr, nullptr);
}

void GtkWindowPeer::PictureButton::SetPictures(GdkPixbuf* normalPicture, GdkPixbuf* pressedPicture) {
  if (normal) g_object_unref(normal);
  if (pressed) g_object_unref(pressed);
  normal = normalPicture;
  pressed = pressedPicture;
  gtk_widget_queue_draw(area);
}

gboolean GtkWindowPeer::PictureButton::OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* self = static_cast<PictureButton*>(data);
  GdkPixbuf* picture = self->held && self->inside && self->pressed ? self->pressed : self->normal;
  if (picture) {
    gdk_cairo_set_source_pixbuf(cr, picture, 0, 0);
    cairo_paint(cr);
  }
  return TRUE;
}

gboolean GtkWindowPeer::PictureButton::OnPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PictureButton*>(data);
  if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return TRUE;
  self->held = true;
  self->inside = true;
  gtk_widget_queue_draw(widget);
  return TRUE;
}

gboolean GtkWindowPeer::PictureButton::OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<PictureButton*>(data);
  if (!self->held) return TRUE;
  const bool inside = event->x >= 0 && event->y >= 0 && event->x < gtk_widget_get_allocated_width(widget) &&
                      event->y < gtk_widget_get_allocated_height(widget);
  if (inside != self->inside) {
    self->inside = inside;
    gtk_widget_queue_draw(widget);
  }
  return TRUE;
}

gboolean GtkWindowPeer::PictureButton::OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PictureButton*>(data);
  if (event->button != 1 || !self->held) return TRUE;
  const bool click = self->inside;
  self->held = false;
  gtk_widget_queue_draw(widget);
  if (click) {
    // The command may end the window and this button with it: nothing of
    // the button is used afterwards.
    GtkWindowPeer& owner = self->peer;
    const int command = self->id;
    owner.Dispatch([] { return std::intptr_t{0}; }, [&] { return owner.m_window.OnCommand(command); });
  }
  return TRUE;
}

}  // namespace ui::gtk
