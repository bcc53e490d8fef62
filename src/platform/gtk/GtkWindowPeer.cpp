#include "platform/gtk/GtkWindowPeer.h"

#include <algorithm>

#include "platform/gtk/DialogTemplates.h"
#include "platform/gtk/GtkPictureButton.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeerInternal.h"
#include "platform/gtk/KqvFixed.h"

namespace ui::gtk {

namespace {

constexpr const char* kPeerKey = "kqv-window-peer";

// How long the window manager may take to carry out a move or resize before
// what it last reported counts as the window's place.
constexpr guint kSettleMs = 700;

}  // namespace

GtkWindowPeer::GtkWindowPeer(Window& window) : m_window(window) {}

GtkWindowPeer* GtkWindowPeer::OfWidget(GtkWidget* widget) {
  return widget ? static_cast<GtkWindowPeer*>(g_object_get_data(G_OBJECT(widget), kPeerKey)) : nullptr;
}

void GtkWindowPeer::HoldClose() {
  m_closeHeld = true;
  MaybeHandleHeldClose();
}

void GtkWindowPeer::MaybeHandleHeldClose() {
  // Once nothing of the window is running (the handler that was busy, a box
  // it shows) and its input is its own again.
  if (!m_closeHeld || m_heldCloseSource || !m_defaults.empty() || InputBlocked() || !m_widget) return;
  m_heldCloseSource = g_idle_add(OnHeldClose, this);
}

gboolean GtkWindowPeer::OnHeldClose(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_heldCloseSource = 0;
  if (!peer->m_closeHeld || !peer->m_defaults.empty() || peer->InputBlocked()) return G_SOURCE_REMOVE;
  if (Backend().HoldingCloses()) {
    // Another window's cleaning still runs: look again shortly.
    peer->m_heldCloseSource = g_timeout_add(50, OnHeldClose, peer);
    return G_SOURCE_REMOVE;
  }
  peer->m_closeHeld = false;
  if (!peer->m_destroying) peer->Close();
  return G_SOURCE_REMOVE;
}

GtkWindowPeer::~GtkWindowPeer() {
  if (m_widget) {
    m_destroying = true;
    gtk_widget_destroy(m_widget);
  }
  ForgetWidget();
}

std::intptr_t GtkWindowPeer::Default() {
  if (m_defaults.empty()) return 0;
  // A copy: the default may itself dispatch handlers, which grow the stack.
  const auto action = m_defaults.back();
  return action();
}

void GtkWindowPeer::BuildWidget(const DialogTemplate& dialog, GtkWindowPeer* owner) {
  m_widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(m_widget);
  g_object_set_data(G_OBJECT(m_widget), kPeerKey, this);
  // The system draws every pixel itself: no window-manager frame, no theme
  // background.
  gtk_window_set_decorated(window, FALSE);
  gtk_widget_set_app_paintable(m_widget, TRUE);
  if (IsComposited(m_widget)) {
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(m_widget))) {
      gtk_widget_set_visual(m_widget, rgba);
    }
  }
  m_title = dialog.title;
  gtk_window_set_title(window, m_title.c_str());
  const Size size = NominalPixelSize(dialog);
  gtk_window_set_default_size(window, size.cx, size.cy);
  // Templates place their windows at the origin; an explicit position also
  // keeps the window manager from choosing one.
  const Point origin = ScreenOrigin();
  gtk_window_move(window, origin.x, origin.y);
  m_rect = Rect::FromXYWH(0, 0, size.cx, size.cy);
  m_pendingRects.clear();
  if (owner && owner->m_widget) {
    // An owned popup stays above its owner and goes away with it.
    gtk_window_set_transient_for(window, GTK_WINDOW(owner->m_widget));
    gtk_window_set_destroy_with_parent(window, TRUE);
  }
  gtk_window_set_skip_taskbar_hint(window, owner && !dialog.appWindow);

  m_container = GTK_WIDGET(g_object_new(kqv_fixed_get_type(), nullptr));
  gtk_container_add(GTK_CONTAINER(m_widget), m_container);
  gtk_widget_show(m_container);

  gtk_widget_add_events(m_widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_LEAVE_NOTIFY_MASK | GDK_STRUCTURE_MASK | GDK_KEY_PRESS_MASK |
                                      GDK_FOCUS_CHANGE_MASK);
  g_signal_connect(m_widget, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(m_widget, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(m_widget, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(m_widget, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(m_widget, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(m_widget, "leave-notify-event", G_CALLBACK(OnLeave), this);
  g_signal_connect(m_widget, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(m_widget, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(m_widget, "focus-in-event", G_CALLBACK(OnFocus), this);
  g_signal_connect(m_widget, "focus-out-event", G_CALLBACK(OnFocus), this);
  g_signal_connect(m_widget, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect_after(m_widget, "realize", G_CALLBACK(OnRealize), this);
  g_signal_connect(m_widget, "destroy", G_CALLBACK(OnDestroy), this);
  g_signal_connect(m_widget, "map-event", G_CALLBACK(OnMapped), this);
  g_signal_connect_after(m_container, "size-allocate", G_CALLBACK(OnContainerAllocate), this);
}

bool GtkWindowPeer::Create(int templateId, WindowPeer* ownerPeer) {
  if (m_widget) return false;
  const DialogTemplate* dialog = FindDialogTemplate(templateId);
  if (!dialog) return false;
  m_template = dialog;
  m_owner = static_cast<GtkWindowPeer*>(ownerPeer);
  m_iconic = m_zoomed = false;
  BuildWidget(*dialog, m_owner);

  // The messages a new window gets, in the order Windows sends them.
  const bool ncCreated = Dispatch([] { return std::intptr_t{1}; }, [&] { return m_window.OnNcCreate(); });
  if (!ncCreated || !m_widget) {
    Destroy();
    return false;
  }
  UpdateClientInsets();
  const int created = Dispatch([] { return std::intptr_t{0}; }, [&] { return m_window.OnCreate(); });
  if (created == -1 || !m_widget) {
    Destroy();
    return false;
  }
  NotifyMoveSize(true, true);
  if (!m_widget) return false;

  if (dialog->sizingBorder) {
    MinMaxInfo info;
    if (dialog->caption) {
      // What Windows allows a captioned window at 96 dpi (SM_CXMINTRACK,
      // SM_CYMINTRACK) unless the window asks otherwise.
      info.minTrackWidth = 136;
      info.minTrackHeight = 39;
    }
    const Size screen = GetPlatform().ScreenSize();
    info.maxTrackWidth = screen.cx;
    info.maxTrackHeight = screen.cy;
    Dispatch([] { return std::intptr_t{0}; },
             [&] {
               m_window.OnGetMinMaxInfo(info);
               return 0;
             });
    if (m_widget && (info.minTrackWidth > 0 || info.minTrackHeight > 0)) {
      GdkGeometry hints{};
      hints.min_width = std::max(1, info.minTrackWidth);
      hints.min_height = std::max(1, info.minTrackHeight);
      gtk_window_set_geometry_hints(GTK_WINDOW(m_widget), nullptr, &hints, GDK_HINT_MIN_SIZE);
    }
  }

  // The template's controls exist before the dialog initialises.
  for (int id : dialog->buttons) {
    auto button = std::make_unique<PictureButton>(*this, id);
    PlaceChild(button->area, {});
    AddControl(id, button->area);
    m_buttons[id] = std::move(button);
  }

  if (auto* asDialog = dynamic_cast<Dialog*>(&m_window)) {
    Dispatch([] { return std::intptr_t{1}; }, [&] { return asDialog->OnInitDialog(); });
  }
  if (!m_widget) return false;
  if (dialog->visible && !IsVisible()) Show(ShowCommand::ShowNormal);
  return true;
}

gboolean GtkWindowPeer::OnMapped(GtkWidget* widget, GdkEvent*, gpointer) {
  // A popup shown before its owner would otherwise end up beneath it: the
  // window manager stacks the owner, mapped last, on top.
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    GtkWindow* owned = GTK_WINDOW(item->data);
    if (gtk_window_get_transient_for(owned) != GTK_WINDOW(widget)) continue;
    if (!gtk_widget_get_mapped(GTK_WIDGET(owned))) continue;
    // Window managers read the owner when the popup maps; an owner not yet
    // managed then is forgotten, so name it again now that it is.
    gtk_window_set_transient_for(owned, nullptr);
    gtk_window_set_transient_for(owned, GTK_WINDOW(widget));
    if (GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(owned))) gdk_window_raise(window);
  }
  g_list_free(windows);
  return FALSE;
}

GtkWindowPeer::InputBlock::InputBlock(GtkWindowPeer* owner) : m_owner(owner) {
  if (!m_owner || m_owner->m_inputBlocks++ > 0 || !m_owner->m_container) return;
  // An insensitive container passes no input to the page or the buttons;
  // the window's own handlers look at InputBlocked. The focus goes with the
  // sensitivity, so it is kept to give back.
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_owner->m_widget));
  if (focus) g_object_add_weak_pointer(G_OBJECT(focus), reinterpret_cast<gpointer*>(&m_owner->m_blockedFocus));
  m_owner->m_blockedFocus = focus;
  gtk_widget_set_sensitive(m_owner->m_container, FALSE);
}

GtkWindowPeer::InputBlock::~InputBlock() {
  if (!m_owner || --m_owner->m_inputBlocks > 0) return;
  m_owner->MaybeHandleHeldClose();
  GtkWidget* focus = m_owner->m_blockedFocus;
  if (focus) g_object_remove_weak_pointer(G_OBJECT(focus), reinterpret_cast<gpointer*>(&m_owner->m_blockedFocus));
  m_owner->m_blockedFocus = nullptr;
  if (!m_owner->m_container) return;
  gtk_widget_set_sensitive(m_owner->m_container, TRUE);
  if (focus && gtk_widget_get_toplevel(focus) == m_owner->m_widget) gtk_widget_grab_focus(focus);
}

int GtkWindowPeer::RunModal(int templateId, WindowPeer* owner) {
  m_modal = true;
  m_modalResult.reset();
  if (!Create(templateId, owner)) {
    m_modal = false;
    return kModalQuit;
  }
  GtkPlatform& platform = Backend();
  if (!m_modalResult && !platform.QuitPosted() && m_widget) {
    // A modal dialog is always shown, whatever its template says.
    if (!IsVisible()) Show(ShowCommand::ShowNormal);
    const InputBlock block(m_owner);
    m_loop = g_main_loop_new(nullptr, FALSE);
    platform.PushModalLoop(m_loop);
    g_main_loop_run(m_loop);
    platform.PopModalLoop(m_loop);
    g_main_loop_unref(m_loop);
    m_loop = nullptr;
  }
  m_modal = false;
  const int result = m_modalResult.value_or(kModalQuit);
  Destroy();
  return result;
}

void GtkWindowPeer::EndModal(int result) {
  if (m_modal) {
    m_modalResult = result;
    if (m_loop) g_main_loop_quit(m_loop);
  } else {
    Show(ShowCommand::Hide);
  }
}

void GtkWindowPeer::Destroy() {
  if (!m_widget) return;
  m_destroying = true;
  gtk_widget_destroy(m_widget);  // OnDestroy forgets it
  m_destroying = false;
}

void GtkWindowPeer::ForgetWidget() {
  if (m_loop) g_main_loop_quit(m_loop);
  // A system menu still up goes with its window, telling nobody.
  DropSystemMenu();
  m_buttons.clear();
  m_controls.clear();
  m_widget = nullptr;
  m_container = nullptr;
  m_pendingRects.clear();
  m_lastReported.reset();
  if (m_settleTimer) g_source_remove(m_settleTimer);
  m_settleTimer = 0;
  if (m_postedSource) g_source_remove(m_postedSource);
  m_postedSource = 0;
  m_postedCommands.clear();
  if (m_heldCloseSource) g_source_remove(m_heldCloseSource);
  m_heldCloseSource = 0;
  if (m_showSource) g_source_remove(m_showSource);
  m_showSource = 0;
  m_closeHeld = false;
  m_trackingLeave = false;
  m_ncPressed = false;
  m_dragFrom.reset();
  m_moveFrom.reset();
  m_cursorHit = Hit::Nowhere;
  m_iconic = m_zoomed = false;
  if (m_layered) cairo_surface_destroy(m_layered);
  m_layered = nullptr;
  if (m_boundingShape) cairo_region_destroy(m_boundingShape);
  m_boundingShape = nullptr;
  if (m_nonClient) cairo_surface_destroy(m_nonClient);
  m_nonClient = nullptr;
  m_colorKey.reset();
  m_background.reset();
}

void GtkWindowPeer::OnDestroy(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  const bool destroying = peer->m_destroying;
  peer->m_destroying = true;  // no handler runs while the window goes
  peer->ForgetWidget();
  peer->m_destroying = destroying;
}

void GtkWindowPeer::Show(ShowCommand command) {
  if (!m_widget) return;
  GtkWindow* window = GTK_WINDOW(m_widget);
  if (m_showSource) g_source_remove(m_showSource);
  m_showSource = 0;
  switch (command) {
    case ShowCommand::Hide:
      gtk_widget_hide(m_widget);
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
  if (!m_owner) Backend().NoteMainWindowShown();
  AwaitPlacementAtMap();
  gtk_widget_show(m_widget);
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
