#include "platform/gtk/GtkWindowPeer.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gtk/CairoCanvas.h"
#include "platform/gtk/DialogTemplates.h"
#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPlatform.h"

// A GtkFixed that asks for no room of its own: children may lie outside the
// window (a browser parked out of sight) without growing it.
struct KqvFixed {
  GtkFixed parent;
};
struct KqvFixedClass {
  GtkFixedClass parent_class;
};
G_DEFINE_TYPE(KqvFixed, kqv_fixed, GTK_TYPE_FIXED)

static void kqv_fixed_no_size(GtkWidget*, gint* minimum, gint* natural) { *minimum = *natural = 0; }

static void kqv_fixed_class_init(KqvFixedClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = kqv_fixed_no_size;
  widget->get_preferred_height = kqv_fixed_no_size;
}

static void kqv_fixed_init(KqvFixed*) {}

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

cairo_region_t* OpaqueRegion(const PixelImage& image) {
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
      if (in[x * 4 + 3] == 0) continue;
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

namespace {

constexpr const char* kPeerKey = "kqv-window-peer";

// How long the window manager may take to carry out a move or resize before
// what it last reported counts as the window's place.
constexpr guint kSettleMs = 700;

bool IsNonClient(Hit hit) {
  return hit != Hit::Client && hit != Hit::Nowhere && hit != Hit::Transparent && hit != Hit::Error;
}

bool IsComposited(GtkWidget* widget) { return gdk_screen_is_composited(gtk_widget_get_screen(widget)); }

Point ScreenPoint(double x, double y) {
  return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

GdkPixbuf* LoadBitmap(int id) {
  auto bytes = GetPlatform().FindResource(ResourceType::Bitmap, id);
  return bytes ? PixbufFromBytes(*bytes, "bmp") : nullptr;
}

}  // namespace

template <class Handler>
auto GtkWindowPeer::Dispatch(std::function<std::intptr_t()> defaultAction, Handler&& handler) {
  m_defaults.push_back(std::move(defaultAction));
  struct Pop {
    std::vector<std::function<std::intptr_t()>>& defaults;
    ~Pop() { defaults.pop_back(); }
  } pop{m_defaults};
  return handler();
}

// A push button showing a bitmap, and its pressed bitmap while the mouse
// button is held on it; a release on it is a click.
struct GtkWindowPeer::PictureButton {
  PictureButton(GtkWindowPeer& peer, int id) : peer(peer), id(id), area(gtk_drawing_area_new()) {
    g_object_ref_sink(area);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnPress), this);
    g_signal_connect(area, "button-release-event", G_CALLBACK(OnRelease), this);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), this);
    gtk_widget_show(area);
  }
  ~PictureButton() {
    g_signal_handlers_disconnect_by_data(area, this);
    g_object_unref(area);
    SetPictures(nullptr, nullptr);
  }
  PictureButton(const PictureButton&) = delete;
  PictureButton& operator=(const PictureButton&) = delete;

  void SetPictures(GdkPixbuf* normalPicture, GdkPixbuf* pressedPicture) {
    if (normal) g_object_unref(normal);
    if (pressed) g_object_unref(pressed);
    normal = normalPicture;
    pressed = pressedPicture;
    gtk_widget_queue_draw(area);
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* self = static_cast<PictureButton*>(data);
    GdkPixbuf* picture = self->held && self->inside && self->pressed ? self->pressed : self->normal;
    if (picture) {
      gdk_cairo_set_source_pixbuf(cr, picture, 0, 0);
      cairo_paint(cr);
    }
    return TRUE;
  }
  static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<PictureButton*>(data);
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return TRUE;
    self->held = true;
    self->inside = true;
    gtk_widget_queue_draw(widget);
    return TRUE;
  }
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
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
  static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
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

  GtkWindowPeer& peer;
  int id;
  GtkWidget* area;
  GdkPixbuf* normal = nullptr;
  GdkPixbuf* pressed = nullptr;
  bool held = false;
  bool inside = false;
};

GtkWindowPeer::GtkWindowPeer(Window& window) : m_window(window) {}

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
  gtk_window_move(window, 0, 0);
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
  g_signal_connect(m_widget, "destroy", G_CALLBACK(OnDestroy), this);
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
    const Size screen = GetPlatform().ScreenSize();
    info.maxTrackWidth = screen.cx;
    info.maxTrackHeight = screen.cy;
    Dispatch([] { return std::intptr_t{0}; }, [&] { m_window.OnGetMinMaxInfo(info); return 0; });
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
  m_buttons.clear();
  m_controls.clear();
  m_widget = nullptr;
  m_container = nullptr;
  m_pendingRects.clear();
  m_lastReported.reset();
  if (m_settleTimer) g_source_remove(m_settleTimer);
  m_settleTimer = 0;
  m_trackingLeave = false;
  m_ncPressed = false;
  m_dragFrom.reset();
  m_iconic = m_zoomed = false;
  if (m_layered) cairo_surface_destroy(m_layered);
  m_layered = nullptr;
  if (m_nonClient) cairo_surface_destroy(m_nonClient);
  m_nonClient = nullptr;
  m_colorKey.reset();
}

void GtkWindowPeer::OnDestroy(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  const bool destroying = peer->m_destroying;
  peer->m_destroying = true;  // no handler runs while the window goes
  peer->ForgetWidget();
  peer->m_destroying = destroying;
}

bool GtkWindowPeer::DispatchToTarget(const Message& message) {
  const auto* key = static_cast<const NativeKey*>(message.native);
  if (!key || !key->event || !key->window) return false;
  if (!gtk_window_get_focus(key->window)) return false;
  // Straight to the focus widget and its parents, skipping the window's own
  // key handling (and so the dialog manager).
  gtk_window_propagate_key_event(key->window, key->event);
  return true;
}

void GtkWindowPeer::Show(ShowCommand command) {
  if (!m_widget) return;
  GtkWindow* window = GTK_WINDOW(m_widget);
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
      break;
  }
  gtk_widget_show(m_widget);
}

bool GtkWindowPeer::IsVisible() const { return m_widget && gtk_widget_get_visible(m_widget); }

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
    gtk_window_move(window, rect.left, rect.top);
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
    Dispatch([] { return std::intptr_t{0}; }, [&] { m_window.OnMove(x, y); return 0; });
  }
  if (sized && m_widget) {
    const SizeType type = m_iconic ? SizeType::Minimized : m_zoomed ? SizeType::Maximized : SizeType::Restored;
    const Rect client = ClientRect();
    Dispatch([] { return std::intptr_t{0}; }, [&] { m_window.OnSize(type, client.Width(), client.Height()); return 0; });
    if (m_widget && m_insets != Rect{}) {
      Dispatch([] { return std::intptr_t{0}; }, [&] { m_window.OnNcPaint(); return 0; });
    }
  }
}

void GtkWindowPeer::Invalidate(bool) {
  if (m_widget) gtk_widget_queue_draw(m_widget);
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

void GtkWindowPeer::ApplyShape(cairo_region_t* region, bool inputOnly) {
  if (!m_widget) return;
  // Clicks always follow the shape; what is drawn follows it only without a
  // compositor, which would otherwise show transparent pixels as they are.
  gtk_widget_input_shape_combine_region(m_widget, region);
  if (!inputOnly) gtk_widget_shape_combine_region(m_widget, region);
  gtk_widget_queue_draw(m_widget);  // a new shape shows only at the next draw
}

void GtkWindowPeer::UpdateLayered(const PixelImage& image) {
  if (!m_widget || image.Empty() || image.bitsPerPixel != 32) return;
  // cairo's ARGB32 is premultiplied blue, green, red, alpha in memory on a
  // little-endian machine: the picture's own bytes.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* in = image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.pitch;
    auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < image.width; ++x, in += 4) {
      out[x] = static_cast<std::uint32_t>(in[3]) << 24 | in[2] << 16 | in[1] << 8 | in[0];
    }
  }
  cairo_surface_mark_dirty(surface);
  if (m_layered) cairo_surface_destroy(m_layered);
  m_layered = surface;

  cairo_region_t* opaque = OpaqueRegion(image);
  ApplyShape(opaque, IsComposited(m_widget));
  cairo_region_destroy(opaque);
  // The picture gives the window its size; the position stays.
  SetWindowRect(Rect::FromXYWH(m_rect.left, m_rect.top, image.width, image.height), false);
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
  gtk_widget_input_shape_combine_region(m_widget, region);
  gtk_widget_shape_combine_region(m_widget, region);
  gtk_widget_queue_draw(m_widget);
  cairo_region_destroy(region);
}

int GtkWindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  const bool yesNo = (style & 0xF) == kMbYesNo;
  const int dismissed = yesNo ? kIdNo : kIdOk;
  GtkPlatform& platform = Backend();
  if (platform.QuitPosted()) return dismissed;
  GtkWidget* box = gtk_message_dialog_new(m_widget ? GTK_WINDOW(m_widget) : nullptr,
                                          static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_OTHER, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s",
                                          text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  struct Answer {
    GMainLoop* loop;
    int response = GTK_RESPONSE_NONE;
  } answer{g_main_loop_new(nullptr, FALSE)};
  g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->response = response;
                     g_main_loop_quit(a->loop);
                   }),
                   &answer);
  // Destroyed with its owner: that ends the wait too.
  g_signal_connect(box, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     g_main_loop_quit(static_cast<Answer*>(data)->loop);
                   }),
                   &answer);
  gtk_widget_show_all(box);
  platform.PushModalLoop(answer.loop);
  g_main_loop_run(answer.loop);
  platform.PopModalLoop(answer.loop);
  g_main_loop_unref(answer.loop);
  g_signal_handlers_disconnect_by_data(box, &answer);
  gtk_widget_destroy(box);
  switch (answer.response) {
    case GTK_RESPONSE_YES:
      return kIdYes;
    case GTK_RESPONSE_NO:
      return kIdNo;
    case GTK_RESPONSE_OK:
      return kIdOk;
    default:
      return dismissed;
  }
}

std::unique_ptr<Browser> GtkWindowPeer::CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) {
  if (!m_widget) return nullptr;
  return std::make_unique<GtkBrowser>(*this, controlId, rect, events);
}

void GtkWindowPeer::PlaceChild(GtkWidget* child, const Rect& clientRect) {
  if (!m_container) return;
  auto* placed = static_cast<Rect*>(g_object_get_data(G_OBJECT(child), "kqv-client-rect"));
  if (!placed) {
    placed = new Rect;
    g_object_set_data_full(G_OBJECT(child), "kqv-client-rect", placed, [](gpointer p) { delete static_cast<Rect*>(p); });
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

void GtkWindowPeer::PaintNonClient(const std::function<void(Canvas&)>& paint) {
  if (!m_widget || m_rect.IsEmpty()) return;
  const int width = m_rect.Width();
  const int height = m_rect.Height();
  if (!m_nonClient || cairo_image_surface_get_width(m_nonClient) != width ||
      cairo_image_surface_get_height(m_nonClient) != height) {
    if (m_nonClient) cairo_surface_destroy(m_nonClient);
    m_nonClient = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  }
  // Drawn off screen, client area excluded, and shown in one go.
  cairo_t* cr = cairo_create(m_nonClient);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  const Rect client = ClientRect();
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_rectangle(cr, m_insets.left, m_insets.top, client.Width(), client.Height());
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(cr);
  CairoCanvas canvas(cr);
  paint(canvas);
  cairo_destroy(cr);
  gtk_widget_queue_draw(m_widget);
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
    const bool nearLeft = x < kCorner, nearRight = x >= w - kCorner, nearTop = y < kCorner, nearBottom = y >= h - kCorner;
    if ((top && nearLeft) || (left && nearTop)) return Hit::TopLeft;
    if ((top && nearRight) || (right && nearTop)) return Hit::TopRight;
    if ((bottom && nearLeft) || (left && nearBottom)) return Hit::BottomLeft;
    if ((bottom && nearRight) || (right && nearBottom)) return Hit::BottomRight;
    if (left) return Hit::Left;
    if (right) return Hit::Right;
    if (top) return Hit::Top;
    if (bottom) return Hit::Bottom;
  }
  if (screen.y < client.top) return Hit::Caption;
  return Hit::Border;
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

void GtkWindowPeer::SysCommand(ui::SysCommand command) {
  Dispatch([this, command] { DefaultSysCommand(command); return std::intptr_t{0}; },
           [&] { m_window.OnSysCommand(command); return 0; });
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
      [&] { m_window.OnClose(); return 0; });
}

gboolean GtkWindowPeer::OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  const Rect reported = Rect::FromXYWH(event->x, event->y, event->width, event->height);
  auto& pending = peer->m_pendingRects;
  if (!pending.empty()) {
    if (reported == pending.back()) {
      // Our latest request is done.
      pending.clear();
      peer->m_lastReported.reset();
    } else {
      // An older request's answer or a step on the way to the latest (a move
      // before its resize): the latest one is still coming. If it never
      // does, the settle timer takes what was reported last.
      peer->m_lastReported = reported;
      return FALSE;
    }
  }
  if (reported != peer->m_rect) peer->SetWindowRect(reported, true);
  return FALSE;
}

gboolean GtkWindowPeer::OnSettle(gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  peer->m_settleTimer = 0;
  const auto reported = peer->m_lastReported;
  peer->m_pendingRects.clear();
  peer->m_lastReported.reset();
  // The window manager placed the window otherwise than asked.
  if (reported && *reported != peer->m_rect && !peer->m_destroying) peer->SetWindowRect(*reported, true);
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
  if (changed) peer->NotifyMoveSize(false, true);
  return FALSE;
}

gboolean GtkWindowPeer::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying || event->button != 1) return FALSE;
  // Windows reports a second press soon after the first as a double-click
  // instead of a press; GTK reports both, and a double-click event besides.
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  const Point point = ScreenPoint(event->x_root, event->y_root);
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
  if (isDouble) {
    const bool maximizable = peer->m_template && peer->m_template->maximizeBox;
    peer->Dispatch(
        [peer, hit, maximizable] {
          if (hit == Hit::Caption && maximizable) {
            peer->SysCommand(peer->m_zoomed ? SysCommand::Restore : SysCommand::Maximize);
          }
          return std::intptr_t{0};
        },
        [&] { peer->m_window.OnNcLButtonDblClk(hit, point); return 0; });
  } else {
    const GdkEventButton press = *event;
    peer->Dispatch([peer, hit, press] { return peer->DefaultNcButtonDown(hit, &press); },
                   [&] { peer->m_window.OnNcLButtonDown(hit, point); return 0; });
  }
  return TRUE;
}

gboolean GtkWindowPeer::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying || event->button != 1) return FALSE;
  peer->m_dragFrom.reset();
  if (!peer->m_ncPressed) return FALSE;
  peer->m_ncPressed = false;
  const Point point = ScreenPoint(event->x_root, event->y_root);
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
      [&] { peer->m_window.OnNcLButtonUp(hit, point); return 0; });
  return TRUE;
}

gboolean GtkWindowPeer::OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  if (peer->m_dragFrom) {
    const GdkEventButton from = *peer->m_dragFrom;
    if (!(event->state & GDK_BUTTON1_MASK)) {
      peer->m_dragFrom.reset();
    } else {
      gint threshold = 8;
      g_object_get(gtk_widget_get_settings(widget), "gtk-dnd-drag-threshold", &threshold, nullptr);
      if (std::abs(event->x_root - from.x_root) > threshold || std::abs(event->y_root - from.y_root) > threshold) {
        // The window manager moves the window by the pointer's way from the
        // press, so nothing of the way so far is lost.
        peer->m_dragFrom.reset();
        peer->m_ncPressed = false;
        gtk_window_begin_move_drag(GTK_WINDOW(widget), static_cast<gint>(from.button),
                                   static_cast<gint>(std::lround(from.x_root)),
                                   static_cast<gint>(std::lround(from.y_root)), event->time);
      }
      return TRUE;
    }
  }
  const Point point = ScreenPoint(event->x_root, event->y_root);
  const Hit hit = peer->HitTest(point);
  if (!peer->m_widget) return FALSE;
  if (IsNonClient(hit)) {
    peer->Dispatch([] { return std::intptr_t{0}; }, [&] { peer->m_window.OnNcMouseMove(hit, point); return 0; });
  } else if (peer->m_trackingLeave) {
    // Into the client area: out of the non-client area.
    peer->m_trackingLeave = false;
    peer->Dispatch([] { return std::intptr_t{0}; }, [&] { peer->m_window.OnNcMouseLeave(); return 0; });
  }
  return FALSE;
}

gboolean GtkWindowPeer::OnLeave(GtkWidget*, GdkEventCrossing*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying || !peer->m_trackingLeave) return FALSE;
  peer->m_trackingLeave = false;
  peer->Dispatch([] { return std::intptr_t{0}; }, [&] { peer->m_window.OnNcMouseLeave(); return 0; });
  return FALSE;
}

gboolean GtkWindowPeer::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
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
  if (!peer->m_destroying) peer->Close();
  return TRUE;  // the window goes only when the system destroys it
}

gboolean GtkWindowPeer::OnFocus(GtkWidget*, GdkEventFocus* event, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
  const bool active = event->in;
  peer->Dispatch([] { return std::intptr_t{1}; }, [&] { return peer->m_window.OnNcActivate(active); });
  if (peer->m_widget) {
    peer->Dispatch([] { return std::intptr_t{0}; }, [&] { peer->m_window.OnActivate(active); return 0; });
  }
  return FALSE;
}

gboolean GtkWindowPeer::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_destroying) return FALSE;
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
    if (IsComposited(widget)) cairo_set_source_rgba(cr, 0, 0, 0, 0);
    else cairo_set_source_rgb(cr, key.r / 255.0, key.g / 255.0, key.b / 255.0);
  } else {
    cairo_set_source_rgb(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0);  // the dialog face colour
  }
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  if (peer->m_nonClient) {
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
  peer->Dispatch([] { return std::intptr_t{0}; }, [&] { peer->m_window.OnPaint(canvas); return 0; });
  cairo_restore(cr);
  return FALSE;  // the children draw next
}

}  // namespace ui::gtk
