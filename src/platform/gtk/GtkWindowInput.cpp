#include "platform/gtk/GtkWindowPeer.h"

#include <gdk/gdkkeysyms.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/gtk/DialogTemplates.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeerInternal.h"

namespace ui::gtk {

unsigned VirtualKeyFromKeyval(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return kVkReturn;
    case GDK_KEY_Escape:
      return kVkEscape;
    case GDK_KEY_BackSpace:
      return 0x08;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return 0x09;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
      return 0x10;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
      return 0x11;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
      return 0x12;
    case GDK_KEY_Pause:
      return 0x13;
    case GDK_KEY_Caps_Lock:
      return 0x14;
    case GDK_KEY_space:
      return 0x20;
    case GDK_KEY_Page_Up:
      return 0x21;
    case GDK_KEY_Page_Down:
      return 0x22;
    case GDK_KEY_End:
      return 0x23;
    case GDK_KEY_Home:
      return 0x24;
    case GDK_KEY_Left:
      return 0x25;
    case GDK_KEY_Up:
      return 0x26;
    case GDK_KEY_Right:
      return 0x27;
    case GDK_KEY_Down:
      return 0x28;
    case GDK_KEY_Insert:
      return 0x2D;
    case GDK_KEY_Delete:
      return 0x2E;
    default:
      break;
  }
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return 0x70 + (keyval - GDK_KEY_F1);
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return 0x60 + (keyval - GDK_KEY_KP_0);
  const guint32 c = gdk_keyval_to_unicode(gdk_keyval_to_upper(keyval));
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
  return 0;
}

namespace {

bool IsNonClient(Hit hit) {
  return hit != Hit::Client && hit != Hit::Nowhere && hit != Hit::Transparent && hit != Hit::Error;
}

Point ScreenPoint(double x, double y) {
  const Point origin = ScreenOrigin();
  return {static_cast<int>(std::lround(x)) - origin.x, static_cast<int>(std::lround(y)) - origin.y};
}

}  // namespace

bool GtkWindowPeer::DispatchToTarget(const Message& message) {
  const auto* key = static_cast<const NativeKey*>(message.native);
  if (!key || !key->event || !key->window) return false;
  if (!gtk_window_get_focus(key->window)) return false;
  // Straight to the focus widget and its parents, skipping the window's own
  // key handling (and so the dialog manager).
  gtk_window_propagate_key_event(key->window, key->event);
  return true;
}

Hit GtkWindowPeer::DefaultHitTest(Point screen) const {
  if (!m_rect.Contains(screen)) return Hit::Nowhere;
  const Rect client = ClientRect().Offset(m_rect.left + m_insets.left, m_rect.top + m_insets.top);
  if (client.Contains(screen)) return Hit::Client;
  if (m_template && m_template->sizingBorder && !m_zoomed) {
    // Edges a few pixels wide, corners a little longer along each edge.
    constexpr int kEdge = 4;
    constexpr int kCorner = 16;
    const int x = screen.x - m_rect.left;
    const int y = screen.y - m_rect.top;
    const int w = m_rect.Width();
    const int h = m_rect.Height();
    const bool left = x < kEdge, right = x >= w - kEdge, top = y < kEdge, bottom = y >= h - kEdge;
    const bool nearLeft = x < kCorner, nearRight = x >= w - kCorner, nearTop = y < kCorner,
               nearBottom = y >= h - kCorner;
    if ((top && nearLeft) || (left && nearTop)) return Hit::TopLeft;
    if ((top && nearRight) || (right && nearTop)) return Hit::TopRight;
    if ((bottom && nearLeft) || (left && nearBottom)) return Hit::BottomLeft;
    if ((bottom && nearRight) || (right && nearBottom)) return Hit::BottomRight;
    if (left) return Hit::Left;
    if (right) return Hit::Right;
    if (top) return Hit::Top;
    if (bottom) return Hit::Bottom;
  }
  // Only a window with a caption has one; the rest of the band is border.
  if (m_template && m_template->caption && screen.y < client.top) return Hit::Caption;
  return Hit::Border;
}

Point GtkWindowPeer::PointerPoint(GdkWindow* window, double x, double y, double xRoot, double yRoot) const {
  // Where the pointer is in the window is exact; where the window is on the
  // screen is known only once the window manager says so, which for a window
  // it has just mapped or moved comes later. The frame's rules work in the
  // window's own layout, so the point is taken in the window and put where
  // the window is believed to be: a click lands where it was aimed.
  GdkWindow* top = m_widget ? gtk_widget_get_window(m_widget) : nullptr;
  for (GdkWindow* at = window; top && at; at = gdk_window_get_parent(at)) {
    if (at == top)
      return {m_rect.left + static_cast<int>(std::lround(x)), m_rect.top + static_cast<int>(std::lround(y))};
    int dx = 0, dy = 0;
    gdk_window_get_position(at, &dx, &dy);
    x += dx;
    y += dy;
  }
  return ScreenPoint(xRoot, yRoot);
}

Hit GtkWindowPeer::HitTest(Point screen) {
  const Hit byDefault = DefaultHitTest(screen);
  return Dispatch([byDefault] { return static_cast<std::intptr_t>(byDefault); },
                  [&] { return m_window.OnNcHitTest(screen); });
}

std::intptr_t GtkWindowPeer::DefaultNcButtonDown(Hit hit, const GdkEventButton* event) {
  if (!m_widget) return 0;
  GtkWindow* window = GTK_WINDOW(m_widget);
  const int x = static_cast<int>(std::lround(event->x_root));
  const int y = static_cast<int>(std::lround(event->y_root));
  const bool sizable = m_template && m_template->sizingBorder && !m_zoomed;
  const auto resize = [&](GdkWindowEdge edge) {
    if (sizable) gtk_window_begin_resize_drag(window, edge, static_cast<gint>(event->button), x, y, event->time);
  };
  switch (hit) {
    case Hit::Caption:
      // A maximised window stays where it is.
      if (!m_zoomed) m_dragFrom = *event;
      break;
    case Hit::Left:
      resize(GDK_WINDOW_EDGE_WEST);
      break;
    case Hit::Right:
      resize(GDK_WINDOW_EDGE_EAST);
      break;
    case Hit::Top:
      resize(GDK_WINDOW_EDGE_NORTH);
      break;
    case Hit::Bottom:
      resize(GDK_WINDOW_EDGE_SOUTH);
      break;
    case Hit::TopLeft:
      resize(GDK_WINDOW_EDGE_NORTH_WEST);
      break;
    case Hit::TopRight:
      resize(GDK_WINDOW_EDGE_NORTH_EAST);
      break;
    case Hit::BottomLeft:
      resize(GDK_WINDOW_EDGE_SOUTH_WEST);
      break;
    case Hit::BottomRight:
      resize(GDK_WINDOW_EDGE_SOUTH_EAST);
      break;
    default:
      break;
  }
  return 0;
}

gboolean GtkWindowPeer::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->InputBlocked()) return TRUE;
  if (peer->m_destroying || event->button != 1) return FALSE;
  // Windows reports a second press soon after the first as a double-click
  // instead of a press; GTK reports both, and a double-click event besides.
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  const Point point = peer->PointerPoint(event->window, event->x, event->y, event->x_root, event->y_root);
  const Hit hit = peer->HitTest(point);
  if (!peer->m_widget || !IsNonClient(hit)) return FALSE;

  GtkSettings* settings = gtk_widget_get_settings(peer->m_widget);
  gint doubleTime = 400;
  gint doubleDistance = 5;
  g_object_get(settings, "gtk-double-click-time", &doubleTime, "gtk-double-click-distance", &doubleDistance, nullptr);
  const bool isDouble = peer->m_lastPressSingle && event->time - peer->m_lastPressTime <= guint32(doubleTime) &&
                        std::abs(point.x - peer->m_lastPressPoint.x) <= doubleDistance &&
                        std::abs(point.y - peer->m_lastPressPoint.y) <= doubleDistance;
  peer->m_lastPressTime = event->time;
  peer->m_lastPressPoint = point;
  peer->m_lastPressSingle = !isDouble;

  peer->m_ncPressed = true;
  peer->m_ncPressHit = hit;
  peer->m_dragFrom.reset();
  peer->m_moveFrom.reset();
  if (isDouble) {
    const bool maximizable = peer->m_template && peer->m_template->maximizeBox;
    peer->Dispatch(
        [peer, hit, maximizable] {
          if (hit == Hit::Caption && maximizable) {
            peer->SysCommand(peer->m_zoomed ? SysCommand::Restore : SysCommand::Maximize);
          }
          return std::intptr_t{0};
        },
        [&] {
          peer->m_window.OnNcLButtonDblClk(hit, point);
          return 0;
        });
  } else {
    const GdkEventButton press = *event;
    peer->Dispatch([peer, hit, press] { return peer->DefaultNcButtonDown(hit, &press); },
                   [&] {
                     peer->m_window.OnNcLButtonDown(hit, point);
                     return 0;
                   });
  }
  return TRUE;
}

gboolean GtkWindowPeer::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->InputBlocked()) return TRUE;
  if (peer->m_destroying || event->button != 1) return FALSE;
  peer->m_dragFrom.reset();
  peer->m_moveFrom.reset();
  if (!peer->m_ncPressed) return FALSE;
  peer->m_ncPressed = false;
  const Point point = peer->PointerPoint(event->window, event->x, event->y, event->x_root, event->y_root);
  const Hit hit = peer->HitTest(point);
  if (!peer->m_widget || !IsNonClient(hit)) return FALSE;
  const Hit pressed = peer->m_ncPressHit;
  peer->Dispatch(
      [peer, hit, pressed] {
        // The platform's own caption buttons act when released where pressed.
        if (hit == pressed) {
          if (hit == Hit::Close) peer->SysCommand(SysCommand::Close);
          if (hit == Hit::MinButton) peer->SysCommand(SysCommand::Minimize);
          if (hit == Hit::MaxButton) peer->SysCommand(peer->m_zoomed ? SysCommand::Restore : SysCommand::Maximize);
        }
        return std::intptr_t{0};
      },
      [&] {
        peer->m_window.OnNcLButtonUp(hit, point);
        return 0;
      });
  return TRUE;
}

gboolean GtkWindowPeer::OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->InputBlocked()) return TRUE;
  if (peer->m_destroying) return FALSE;
  if (peer->m_dragFrom) {
    const GdkEventButton& from = *peer->m_dragFrom;
    if (!(event->state & GDK_BUTTON1_MASK)) {
      peer->m_dragFrom.reset();
      peer->m_moveFrom.reset();
    } else {
      if (!peer->m_moveFrom) {
        gint threshold = 8;
        g_object_get(gtk_widget_get_settings(widget), "gtk-dnd-drag-threshold", &threshold, nullptr);
        if (std::abs(event->x_root - from.x_root) > threshold || std::abs(event->y_root - from.y_root) > threshold) {
          peer->m_ncPressed = false;
          peer->m_moveFrom = Point{peer->m_rect.left, peer->m_rect.top};
        }
      }
      if (peer->m_moveFrom) {
        // We move the window ourselves, step by step, as Windows' caption
        // drag does: a window manager's move would report the new place only
        // at the drop, and owned windows following OnMove would lag behind.
        // The offset is from the press, so nothing of the way is lost.
        const int dx = static_cast<int>(std::lround(event->x_root - from.x_root));
        const int dy = static_cast<int>(std::lround(event->y_root - from.y_root));
        const Rect rect = peer->m_rect;
        const Point to{peer->m_moveFrom->x + dx, peer->m_moveFrom->y + dy};
        if (to.x != rect.left || to.y != rect.top) {
          peer->SetWindowRect(Rect::FromXYWH(to.x, to.y, rect.Width(), rect.Height()), false);
        }
      }
      return TRUE;
    }
  }
  const Point point = peer->PointerPoint(event->window, event->x, event->y, event->x_root, event->y_root);
  const Hit hit = peer->HitTest(point);
  if (!peer->m_widget) return FALSE;
  peer->UpdateCursor(hit);
  if (IsNonClient(hit)) {
    peer->Dispatch([] { return std::intptr_t{0}; },
                   [&] {
                     peer->m_window.OnNcMouseMove(hit, point);
                     return 0;
                   });
  } else if (peer->m_trackingLeave) {
    // Into the client area: out of the non-client area.
    peer->m_trackingLeave = false;
    peer->Dispatch([] { return std::intptr_t{0}; },
                   [&] {
                     peer->m_window.OnNcMouseLeave();
                     return 0;
                   });
  }
  return FALSE;
}

void GtkWindowPeer::UpdateCursor(Hit hit) {
  // The sizing edges of a window that can be sized show the resize shapes,
  // as Windows' default cursor choice does; everything else the arrow.
  const bool sizable = m_template && m_template->sizingBorder && !m_zoomed && !m_iconic;
  if (!sizable || hit < Hit::Left || hit > Hit::BottomRight) hit = Hit::Nowhere;
  if (hit == m_cursorHit) return;
  GdkWindow* window = m_widget ? gtk_widget_get_window(m_widget) : nullptr;
  if (!window) return;
  m_cursorHit = hit;
  const char* name = nullptr;
  switch (hit) {
    case Hit::Left:
      name = "w-resize";
      break;
    case Hit::Right:
      name = "e-resize";
      break;
    case Hit::Top:
      name = "n-resize";
      break;
    case Hit::Bottom:
      name = "s-resize";
      break;
    case Hit::TopLeft:
      name = "nw-resize";
      break;
    case Hit::TopRight:
      name = "ne-resize";
      break;
    case Hit::BottomLeft:
      name = "sw-resize";
      break;
    case Hit::BottomRight:
      name = "se-resize";
      break;
    default:
      break;
  }
  GdkCursor* cursor = name ? gdk_cursor_new_from_name(gdk_window_get_display(window), name) : nullptr;
  gdk_window_set_cursor(window, cursor);  // none: the arrow
  if (cursor) g_object_unref(cursor);
}

gboolean GtkWindowPeer::OnLeave(GtkWidget*, GdkEventCrossing*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying || !peer->m_trackingLeave) return FALSE;
  peer->m_trackingLeave = false;
  peer->Dispatch([] { return std::intptr_t{0}; },
                 [&] {
                   peer->m_window.OnNcMouseLeave();
                   return 0;
                 });
  return FALSE;
}

gboolean GtkWindowPeer::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->InputBlocked()) return TRUE;
  if (peer->m_destroying) return FALSE;
  NativeKey native{event, GTK_WINDOW(widget)};
  const unsigned key = VirtualKeyFromKeyval(event->keyval);
  const Message message{Message::Kind::KeyDown, key, &native};
  // The focus window's filter first, then its owners', as a modal loop walks
  // the window tree before dispatching.
  for (GtkWindowPeer* filter = peer; filter; filter = filter->m_owner) {
    if (filter->m_window.PreTranslateMessage(message)) return TRUE;
  }
  // The dialog manager: Return is OK, Escape is cancel.
  const bool plain = (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK)) == 0;
  if (plain && (key == kVkReturn || key == kVkEscape) && dynamic_cast<Dialog*>(&peer->m_window)) {
    const int command = key == kVkReturn ? kIdOk : kIdCancel;
    peer->Dispatch([] { return std::intptr_t{0}; }, [&] { return peer->m_window.OnCommand(command); });
    return TRUE;
  }
  return FALSE;
}

gboolean GtkWindowPeer::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  // A window whose modal box is up cannot be closed under it.
  if (!peer->m_destroying && !peer->InputBlocked()) peer->Close();
  return TRUE;  // the window goes only when the system destroys it
}

gboolean GtkWindowPeer::OnFocus(GtkWidget*, GdkEventFocus* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  const bool active = event->in;
  peer->Dispatch([] { return std::intptr_t{1}; }, [&] { return peer->m_window.OnNcActivate(active); });
  if (peer->m_widget) {
    peer->Dispatch([] { return std::intptr_t{0}; },
                   [&] {
                     peer->m_window.OnActivate(active);
                     return 0;
                   });
  }
  return FALSE;
}

}  // namespace ui::gtk
