// System commands and the system menu: posted commands, the menu's entries
// and its placement, keyboard move and size, and the close path.
#include "platform/gtk/GtkWindowPeer.h"

#include "platform/gtk/DialogTemplates.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeerInternal.h"

namespace ui::gtk {

void GtkWindowPeer::SysCommand(ui::SysCommand command) {
  Dispatch(
      [this, command] {
        DefaultSysCommand(command);
        return std::intptr_t{0};
      },
      [&] {
        m_window.OnSysCommand(command);
        return 0;
      });
}

void GtkWindowPeer::PostCommand(int id) {
  if (!m_widget) return;
  m_postedCommands.push_back(id);
  if (!m_postedSource) m_postedSource = g_idle_add(OnPostedCommands, this);
}

gboolean GtkWindowPeer::OnPostedCommands(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_postedSource = 0;
  if (peer->m_postedCommands.empty() || !peer->m_widget || peer->m_destroying) return G_SOURCE_REMOVE;
  const int id = peer->m_postedCommands.front();
  peer->m_postedCommands.erase(peer->m_postedCommands.begin());
  // One per turn of the loop, the next one queued first: the handler may
  // destroy the window and its peer with it.
  if (!peer->m_postedCommands.empty()) peer->m_postedSource = g_idle_add(OnPostedCommands, peer);
  peer->Dispatch([] { return std::intptr_t{0}; }, [&] { return peer->m_window.OnCommand(id); });
  return G_SOURCE_REMOVE;
}

struct GtkWindowPeer::SystemMenu {
  GtkWindowPeer* peer = nullptr;
  GtkWidget* menu = nullptr;  // a reference of ours
  std::optional<ui::SysCommand> chosen;
  guint closing = 0;  // the idle call that reports the closing
};

bool GtkWindowPeer::TrackSystemMenu(Point screen) {
  // Windows without a caption have no system menu.
  if (!m_widget || !m_template || !m_template->caption) return false;
  DropSystemMenu();

  auto* state = new SystemMenu;
  state->peer = this;
  GtkWidget* menu = gtk_menu_new();
  state->menu = GTK_WIDGET(g_object_ref_sink(menu));
  struct Entry {
    const char* label;
    ui::SysCommand command;
    bool enabled;
  };
  // Greyed as Windows greys them for the window's style and state.
  const bool sizable = m_template->sizingBorder;
  const Entry entries[] = {
      {"还原(_R)", ui::SysCommand::Restore, m_zoomed || m_iconic},
      {"移动(_M)", ui::SysCommand::Move, !m_zoomed},
      {"大小(_S)", ui::SysCommand::Size, sizable && !m_zoomed && !m_iconic},
      {"最小化(_N)", ui::SysCommand::Minimize, m_template->minimizeBox && !m_iconic},
      {"最大化(_X)", ui::SysCommand::Maximize, m_template->maximizeBox && !m_zoomed},
      {nullptr, ui::SysCommand::Close, false},
      {"关闭(_C)", ui::SysCommand::Close, true},
  };
  for (const Entry& entry : entries) {
    if (!entry.label) {
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
      continue;
    }
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(entry.label);
    gtk_widget_set_sensitive(item, entry.enabled);
    g_object_set_data(G_OBJECT(item), "kqv-sys-command", GUINT_TO_POINTER(static_cast<unsigned>(entry.command)));
    if (entry.command == ui::SysCommand::Close) {
      // Shown only: the window manager turns Alt+F4 into the close request.
      if (auto* label = GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(item)))) {
        gtk_accel_label_set_accel(label, GDK_KEY_F4, GDK_MOD1_MASK);
      }
    }
    g_signal_connect(item, "activate", G_CALLBACK(OnSystemMenuItem), state);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  g_signal_connect(menu, "deactivate", G_CALLBACK(OnSystemMenuDeactivate), state);
  m_systemMenu = state;

  // The menu's top-left corner at the point; GTK keeps it on the screen.
  GdkWindow* anchor = gtk_widget_get_window(m_widget);
  const Point origin = ScreenOrigin();
  GdkRectangle at{screen.x + origin.x, screen.y + origin.y, 1, 1};
  if (anchor && gdk_window_is_viewable(anchor)) {
    // In the window, as the point was taken (see PointerPoint).
    at.x = screen.x - m_rect.left;
    at.y = screen.y - m_rect.top;
  } else {
    anchor = gdk_screen_get_root_window(gtk_widget_get_screen(m_widget));
  }
  // The press that asked for it becomes the menu's own, as with Windows'
  // tracking: the menu takes the pointer and the keyboard.
  m_ncPressed = false;
  m_dragFrom.reset();
  m_moveFrom.reset();
  GdkEvent* trigger = gtk_get_current_event();
  gtk_menu_popup_at_rect(GTK_MENU(menu), anchor, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  if (trigger) gdk_event_free(trigger);
  return true;
}

void GtkWindowPeer::OnSystemMenuItem(GtkMenuItem* item, gpointer data) {
  auto* state = static_cast<SystemMenu*>(data);
  state->chosen = static_cast<ui::SysCommand>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "kqv-sys-command")));
}

void GtkWindowPeer::OnSystemMenuDeactivate(GtkMenuShell*, gpointer data) {
  auto* state = static_cast<SystemMenu*>(data);
  // GTK closes the menu before it activates the chosen entry: the report
  // waits until both are done.
  if (!state->closing) state->closing = g_idle_add(OnSystemMenuClosed, state);
}

gboolean GtkWindowPeer::OnSystemMenuClosed(gpointer data) {
  auto* state = static_cast<SystemMenu*>(data);
  state->closing = 0;
  GtkWindowPeer* peer = state->peer;
  const std::optional<ui::SysCommand> chosen = state->chosen;
  peer->DropSystemMenu();
  if (!peer->m_widget || peer->m_destroying) return G_SOURCE_REMOVE;
  // The closing first, as Windows sends it while the menu ends; nothing
  // handles it past the window's filter. Then the chosen entry.
  std::intptr_t result = 0;
  peer->Dispatch([] { return std::intptr_t{0}; },
                 [&] { return peer->m_window.FilterMessage(kMsgUninitMenuPopup, result); });
  if (chosen && peer->m_widget && !peer->m_destroying) peer->SysCommand(*chosen);
  return G_SOURCE_REMOVE;
}

void GtkWindowPeer::DropSystemMenu() {
  SystemMenu* state = std::exchange(m_systemMenu, nullptr);
  if (!state) return;
  if (state->closing) g_source_remove(state->closing);
  // No signal of the menu reaches us once it is dropped.
  g_signal_handlers_disconnect_by_data(state->menu, state);
  GList* items = gtk_container_get_children(GTK_CONTAINER(state->menu));
  for (GList* it = items; it; it = it->next) g_signal_handlers_disconnect_by_data(it->data, state);
  g_list_free(items);
  gtk_widget_destroy(state->menu);
  g_object_unref(state->menu);
  delete state;
}

void GtkWindowPeer::StartKeyboardMoveSize(bool size) {
  if (!m_widget || !gtk_widget_get_visible(m_widget)) return;
  GtkWindow* window = GTK_WINDOW(m_widget);
  // Button 0: the window manager moves or sizes by the arrow keys (and the
  // pointer) until Return, as Windows does after these commands.
  int x = 0, y = 0;
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(m_widget));
  if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr)
    gdk_device_get_position(pointer, nullptr, &x, &y);
  const guint32 time = gtk_get_current_event_time();
  if (size) {
    gtk_window_begin_resize_drag(window, GDK_WINDOW_EDGE_SOUTH_EAST, 0, x, y, time);
  } else {
    gtk_window_begin_move_drag(window, 0, x, y, time);
  }
}

void GtkWindowPeer::DefaultSysCommand(ui::SysCommand command) {
  switch (command) {
    case ui::SysCommand::Minimize:
      Show(ShowCommand::Minimize);
      break;
    case ui::SysCommand::Maximize:
      Show(ShowCommand::Maximize);
      break;
    case ui::SysCommand::Restore:
      Show(ShowCommand::Restore);
      break;
    case ui::SysCommand::Close:
      Close();
      break;
    case ui::SysCommand::Move:
      if (!m_zoomed) StartKeyboardMoveSize(false);
      break;
    case ui::SysCommand::Size:
      if (m_template && m_template->sizingBorder && !m_zoomed && !m_iconic) StartKeyboardMoveSize(true);
      break;
    default:
      break;
  }
}

void GtkWindowPeer::Close() {
  Dispatch(
      [this] {
        // A dialog's close is the dialog manager's cancel; any other window
        // goes away.
        if (dynamic_cast<Dialog*>(&m_window)) {
          m_window.OnCommand(kIdCancel);
        } else {
          Destroy();
        }
        return std::intptr_t{0};
      },
      [&] {
        m_window.OnClose();
        return 0;
      });
}

}  // namespace ui::gtk
