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
  // Children waiting for the frame go with the window.
  m_awaitingFrame = false;
  m_onScreenWaiters.clear();
  if (m_onScreenSource) g_source_remove(m_onScreenSource);
  m_onScreenSource = 0;
  if (m_frameWaitTimer) g_source_remove(m_frameWaitTimer);
  m_frameWaitTimer = 0;
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

}  // namespace ui::gtk
