#pragma once

#include <gtk/gtk.h>

#include "platform/gtk/GtkWindowPeer.h"

namespace ui::gtk {

// A push button showing a bitmap, and its pressed bitmap while the mouse
// button is held on it; a release on it is a click.
struct GtkWindowPeer::PictureButton {
  PictureButton(GtkWindowPeer& peer, int id);
  ~PictureButton();
  PictureButton(const PictureButton&) = delete;
  PictureButton& operator=(const PictureButton&) = delete;

  void SetPictures(GdkPixbuf* normalPicture, GdkPixbuf* pressedPicture);

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data);
  static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data);
  static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer data);

  GtkWindowPeer& peer;
  int id;
  GtkWidget* area;
  GdkPixbuf* normal = nullptr;
  GdkPixbuf* pressed = nullptr;
  bool held = false;
  bool inside = false;
};

}  // namespace ui::gtk
