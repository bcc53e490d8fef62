#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/gtk/GtkWindowPeer.h"

namespace ui::gtk {

inline bool IsComposited(GtkWidget* widget) { return gdk_screen_is_composited(gtk_widget_get_screen(widget)); }

template <class Handler>
auto GtkWindowPeer::Dispatch(std::function<std::intptr_t()> defaultAction, Handler&& handler) {
  m_defaults.push_back(std::move(defaultAction));
  struct Pop {
    GtkWindowPeer& peer;
    ~Pop() {
      peer.m_defaults.pop_back();
      peer.MaybeHandleHeldClose();
    }
  } pop{*this};
  return handler();
}

}  // namespace ui::gtk
