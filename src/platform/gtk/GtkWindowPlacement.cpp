// Showing a window and keeping its place: the moves asked for, the window
// manager's reports, and the settle check that finds where a window went.
#include "platform/gtk/GtkWindowPeer.h"

#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeerInternal.h"
#include "platform/gtk/StartUpTrace.h"

namespace ui::gtk {

namespace {

// How long the window manager may take to carry out a move or resize before
// what it last reported counts as the window's place.
constexpr guint kSettleMs = 700;
// How long a shown window may take to be drawn as shown before what waits
// for that goes on anyway (a window manager that never maximises it).
constexpr guint kFrameWaitMs = 1000;

}  // namespace

void GtkWindowPeer::Show(ShowCommand command) {
  if (!m_widget) return;
  GtkWindow* window = GTK_WINDOW(m_widget);
  if (m_showSource) g_source_remove(m_showSource);
  m_showSource = 0;
  switch (command) {
    case ShowCommand::Hide:
      gtk_widget_hide(m_widget);
      NoteDrawnAsShown();  // nothing of it shows now
      return;
    case ShowCommand::ShowMinimized:
    case ShowCommand::Minimize:
      m_iconic = true;
      gtk_window_iconify(window);
      break;
    case ShowCommand::Maximize:
      if (m_iconic) gtk_window_deiconify(window);
      m_iconic = false;
      m_zoomed = true;
      gtk_window_maximize(window);
      break;
    case ShowCommand::ShowNormal:
    case ShowCommand::Restore:
      // A minimised window comes back as it was; otherwise it leaves the
      // maximised state.
      if (m_iconic) {
        m_iconic = false;
        gtk_window_deiconify(window);
      } else if (m_zoomed) {
        m_zoomed = false;
        gtk_window_unmaximize(window);
      }
      break;
    case ShowCommand::Show:
      if (m_owner && m_owner->m_widget && !gtk_widget_get_mapped(m_owner->m_widget)) {
        // Shown while its owner is still setting itself up, which may move
        // it next: mapped once the current handler is over, where it has
        // been placed by then, so that it never shows a frame elsewhere.
        m_showSource = g_idle_add_full(G_PRIORITY_HIGH, OnDeferredShow, this, nullptr);
        return;
      }
      break;
  }
  if (!m_owner) {
    if (!Backend().MainWindowDrawn()) TraceStartUp("main-window-shown");
    TraceStartUp(m_zoomed ? "window-shown-maximised" : "window-shown");
    Backend().NoteMainWindowShown();
  }
  // Not on the screen yet, or about to change its size there.
  GdkWindow* gdkWindow = gtk_widget_get_window(m_widget);
  const bool maximised = gdkWindow && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_MAXIMIZED);
  if (!gtk_widget_get_mapped(m_widget) || (m_zoomed && !maximised)) {
    m_awaitingFrame = true;
    if (m_frameWaitTimer) g_source_remove(m_frameWaitTimer);
    m_frameWaitTimer = g_timeout_add(
        kFrameWaitMs,
        [](gpointer self) {
          auto* peer = static_cast<GtkWindowPeer*>(self);
          peer->m_frameWaitTimer = 0;
          peer->NoteDrawnAsShown();
          return G_SOURCE_REMOVE;
        },
        this);
  }
  AwaitPlacementAtMap();
  gtk_widget_show(m_widget);
}

bool GtkWindowPeer::OnItsWayToScreen() const {
  return m_widget && !m_destroying && m_awaitingFrame && gtk_widget_get_visible(m_widget);
}

int GtkWindowPeer::WhenOnScreen(std::function<void()> ready) {
  m_onScreenWaiters.emplace_back(++m_lastOnScreenToken, std::move(ready));
  if (!OnItsWayToScreen()) NoteDrawnAsShown();
  return m_lastOnScreenToken;
}

void GtkWindowPeer::CancelWhenOnScreen(int token) {
  std::erase_if(m_onScreenWaiters, [token](const auto& waiter) { return waiter.first == token; });
}

void GtkWindowPeer::NoteDrawnAsShown() {
  m_awaitingFrame = false;
  if (m_frameWaitTimer) g_source_remove(m_frameWaitTimer);
  m_frameWaitTimer = 0;
  // From the main loop: the frame being drawn is finished first, and the
  // waiters may start loads that must not run inside it.
  if (!m_onScreenWaiters.empty() && !m_onScreenSource) {
    m_onScreenSource = g_idle_add_full(G_PRIORITY_HIGH, OnScreenNow, this, nullptr);
  }
}

gboolean GtkWindowPeer::OnScreenNow(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_onScreenSource = 0;
  if (peer->OnItsWayToScreen()) return G_SOURCE_REMOVE;  // shown again meanwhile
  // One at a time: a waiter may cancel others.
  while (!peer->m_onScreenWaiters.empty()) {
    auto ready = std::move(peer->m_onScreenWaiters.front().second);
    peer->m_onScreenWaiters.erase(peer->m_onScreenWaiters.begin());
    ready();
  }
  return G_SOURCE_REMOVE;
}

gboolean GtkWindowPeer::OnDeferredShow(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_showSource = 0;
  if (!peer->m_widget || peer->m_destroying) return G_SOURCE_REMOVE;
  peer->AwaitPlacementAtMap();
  gtk_widget_show(peer->m_widget);
  return G_SOURCE_REMOVE;
}

void GtkWindowPeer::AwaitPlacementAtMap() {
  // While the window manager puts a frame around a window it maps, the first
  // report often has the window at the screen's corner. The place the window
  // was given stands until the manager confirms it, or until the settle
  // check finds where the window really went.
  if (gtk_widget_get_mapped(m_widget) || m_zoomed || m_iconic) return;
  m_pendingRects.assign(1, m_rect);
  m_lastReported.reset();
  if (m_settleTimer) g_source_remove(m_settleTimer);
  m_settleTimer = g_timeout_add(kSettleMs, OnSettle, this);
}

bool GtkWindowPeer::IsVisible() const { return m_widget && (gtk_widget_get_visible(m_widget) || m_showSource); }

void GtkWindowPeer::Move(const Rect& screenRect, bool) { SetWindowRect(screenRect, false); }

void GtkWindowPeer::SetWindowRect(const Rect& rect, bool fromSystem) {
  if (!m_widget) return;
  const bool moved = rect.left != m_rect.left || rect.top != m_rect.top;
  const bool sized = rect.Width() != m_rect.Width() || rect.Height() != m_rect.Height();
  m_rect = rect;
  if (!fromSystem) {
    // The window manager answers later; until it does, the rectangle asked
    // for is the window's, as on Windows, where a move is immediate.
    if (m_pendingRects.size() >= 16) m_pendingRects.erase(m_pendingRects.begin());
    m_pendingRects.push_back(rect);
    m_lastReported.reset();
    if (m_settleTimer) g_source_remove(m_settleTimer);
    m_settleTimer = g_timeout_add(kSettleMs, OnSettle, this);
    GtkWindow* window = GTK_WINDOW(m_widget);
    const Point origin = ScreenOrigin();
    gtk_window_move(window, rect.left + origin.x, rect.top + origin.y);
    gtk_window_resize(window, std::max(1, rect.Width()), std::max(1, rect.Height()));
    if (rect.IsEmpty()) {
      // A window of no size shows nothing.
      cairo_region_t* none = cairo_region_create();
      ApplyShape(none, false);
      cairo_region_destroy(none);
    }
  }
  if (sized) UpdateClientInsets();
  NotifyMoveSize(moved, sized);
}

void GtkWindowPeer::UpdateClientInsets() {
  NcCalcSizeParams params;
  params.calcValidRects = true;
  params.rects[0] = {m_rect.left, m_rect.top, m_rect.right, m_rect.bottom};
  // By default the client area is the whole window: there is no frame of the
  // platform's own.
  Dispatch([] { return std::intptr_t{0}; }, [&] { return m_window.OnNcCalcSize(params); });
  const auto& client = params.rects[0];
  const Rect insets{std::max(0, client.left - m_rect.left), std::max(0, client.top - m_rect.top),
                    std::max(0, m_rect.right - client.right), std::max(0, m_rect.bottom - client.bottom)};
  if (insets == m_insets) return;
  m_insets = insets;
  if (!m_container) return;
  // Children are placed in client coordinates: follow the client origin.
  GList* children = gtk_container_get_children(GTK_CONTAINER(m_container));
  for (GList* it = children; it; it = it->next) {
    auto* child = GTK_WIDGET(it->data);
    auto* placed = static_cast<Rect*>(g_object_get_data(G_OBJECT(child), "kqv-client-rect"));
    if (placed) gtk_fixed_move(GTK_FIXED(m_container), child, placed->left + m_insets.left, placed->top + m_insets.top);
  }
  g_list_free(children);
}

Rect GtkWindowPeer::ClientRect() const {
  return {0, 0, std::max(0, m_rect.Width() - m_insets.left - m_insets.right),
          std::max(0, m_rect.Height() - m_insets.top - m_insets.bottom)};
}

void GtkWindowPeer::NotifyMoveSize(bool moved, bool sized) {
  if (moved && m_widget) {
    const int x = m_rect.left + m_insets.left;
    const int y = m_rect.top + m_insets.top;
    Dispatch([] { return std::intptr_t{0}; },
             [&] {
               m_window.OnMove(x, y);
               return 0;
             });
  }
  if (sized && m_widget) {
    const SizeType type = m_iconic ? SizeType::Minimized : m_zoomed ? SizeType::Maximized : SizeType::Restored;
    const Rect client = ClientRect();
    Dispatch([] { return std::intptr_t{0}; },
             [&] {
               m_window.OnSize(type, client.Width(), client.Height());
               return 0;
             });
    if (m_widget && m_insets != Rect{}) {
      Dispatch([] { return std::intptr_t{0}; },
               [&] {
                 m_window.OnNcPaint();
                 return 0;
               });
    }
  }
}

gboolean GtkWindowPeer::OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  const Point origin = ScreenOrigin();
  int x = event->x, y = event->y;
  if (!event->send_event) {
    // The server's own report places the window in its parent, and GDK
    // finds the screen position when it reads the report; while a window
    // manager puts a new window's frame in place, that is often a place
    // already left. Where the window is now is what counts.
    if (GdkWindow* window = gtk_widget_get_window(peer->m_widget)) gdk_window_get_origin(window, &x, &y);
  }
  const Rect reported = Rect::FromXYWH(x - origin.x, y - origin.y, event->width, event->height);
  auto& pending = peer->m_pendingRects;
  if (!pending.empty()) {
    if (reported == pending.back()) {
      // Our latest request is done.
      pending.clear();
      peer->m_lastReported.reset();
    } else {
      // An older request's answer or a step on the way to the latest (a move
      // before its resize): the latest one is still coming. If it never
      // does, the settle check finds where the window went.
      peer->m_lastReported = reported;
    }
    return FALSE;
  }
  // The window manager's own doing: a user's drag or a placement. A late
  // answer to a request already met looks the same, so the settle check
  // later puts the window back where the X server really has it.
  Rect taken = reported;
  const bool sameSize = reported.Width() == peer->m_rect.Width() && reported.Height() == peer->m_rect.Height();
  if (!event->send_event && sameSize) {
    // A window manager reports a move of the frame alone itself; the
    // server's own report of a move without a resize comes while the manager
    // builds the frame, read at the screen's corner. It waits for the
    // manager's word or the settle check.
    taken = peer->m_rect;
  }
  if (taken != peer->m_rect) peer->SetWindowRect(taken, true);
  peer->m_lastReported = reported;
  if (peer->m_settleTimer) g_source_remove(peer->m_settleTimer);
  peer->m_settleTimer = g_timeout_add(kSettleMs, OnSettle, peer);
  return FALSE;
}

gboolean GtkWindowPeer::OnSettle(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_settleTimer = 0;
  const bool unanswered = peer->m_lastReported.has_value();
  peer->m_pendingRects.clear();
  peer->m_lastReported.reset();
  if (!unanswered || peer->m_destroying || !peer->m_widget || !gtk_widget_get_mapped(peer->m_widget)) {
    return G_SOURCE_REMOVE;
  }
  // The window manager placed the window otherwise than asked, or a report
  // was a late answer to an older request: the X server says where the
  // window is now.
  GdkWindow* window = gtk_widget_get_window(peer->m_widget);
  int x = 0, y = 0, width = 0, height = 0;
  gdk_window_get_origin(window, &x, &y);
  gdk_window_get_geometry(window, nullptr, nullptr, &width, &height);
  const Point origin = ScreenOrigin();
  const Rect actual = Rect::FromXYWH(x - origin.x, y - origin.y, width, height);
  if (actual != peer->m_rect) peer->SetWindowRect(actual, true);
  return G_SOURCE_REMOVE;
}

gboolean GtkWindowPeer::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  const bool iconic = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
  const bool zoomed = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
  const bool changed = iconic != peer->m_iconic || zoomed != peer->m_zoomed;
  peer->m_iconic = iconic;
  peer->m_zoomed = zoomed;
  // Whether the edges size the window may have changed: the arrow until the
  // pointer moves again.
  peer->UpdateCursor(Hit::Nowhere);
  if (changed) peer->NotifyMoveSize(false, true);
  return FALSE;
}

}  // namespace ui::gtk
