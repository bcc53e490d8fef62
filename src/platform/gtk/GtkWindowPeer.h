#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Window.h"

namespace ui::gtk {

struct DialogTemplate;

// A key press as GTK delivered it, carried in ui::Message::native.
struct NativeKey {
  GdkEventKey* event = nullptr;
  GtkWindow* window = nullptr;  // the toplevel that has the focus
};

// Windows' virtual-key code of a GDK key, 0 for keys it has no code for.
unsigned VirtualKeyFromKeyval(guint keyval);

// The region of pixels whose alpha is at least minAlpha (BGRA, top-down).
cairo_region_t* OpaqueRegion(const PixelImage& image, std::uint8_t minAlpha = 1);

// Premultiplied BGRA as straight red, green, blue for cairo's RGB24 (alpha
// dropped): what a window without per-pixel alpha shows of each pixel.
void UnpremultipliedRow(const std::uint8_t* in, std::uint32_t* out, int width);

// One undecorated GTK window per ui::Window. Children (browsers, picture
// buttons) sit at absolute positions in a container filling the window; the
// non-client area, when the window's calc-size handler makes one, is the band
// between the window's edge and the client rectangle and is drawn by the
// window itself through PaintNonClient.
class GtkWindowPeer : public WindowPeer {
 public:
  explicit GtkWindowPeer(Window& window);
  ~GtkWindowPeer() override;
  GtkWindowPeer(const GtkWindowPeer&) = delete;
  GtkWindowPeer& operator=(const GtkWindowPeer&) = delete;

  bool Create(int templateId, WindowPeer* owner) override;
  int RunModal(int templateId, WindowPeer* owner) override;
  void EndModal(int result) override;
  void Destroy() override;
  bool Exists() const override { return m_widget != nullptr; }
  std::intptr_t Default() override;
  bool DispatchToTarget(const Message& message) override;

  void Show(ShowCommand command) override;
  bool IsVisible() const override;
  bool IsIconic() const override { return m_iconic; }
  bool IsZoomed() const override { return m_zoomed; }
  void Move(const Rect& screenRect, bool repaint) override;
  Rect WindowRect() const override { return m_rect; }
  Rect ClientRect() const override;
  void Invalidate(bool erase) override;
  void SetTitle(const std::string& text) override;
  std::string Title() const override { return m_title; }
  void SetIcon(int iconId, bool big) override;
  int Icon(bool big) const override { return big ? m_bigIcon : m_smallIcon; }

  void AddLayeredStyle() override { m_layeredStyle = true; }
  void AddAppWindowStyle() override;
  Rect AdjustWindowRect(const Rect& client) const override;
  void UpdateLayered(const PixelImage& premultiplied) override;
  void SetColorKey(Color key) override;
  void SetBackgroundColor(Color color) override;
  void SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) override;

  int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
  std::unique_ptr<Browser> CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) override;
  void AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) override;
  bool HasControl(int controlId) const override { return m_controls.count(controlId) != 0; }
  void MoveControl(int controlId, const Rect& rect, bool repaint) override;

  bool TrackMouseLeave() override { return m_trackingLeave = m_widget != nullptr; }
  void PaintNonClient(const NonClientPainter& paint) override;
  bool TrackSystemMenu(Point screen) override;
  void SendSysCommand(ui::SysCommand command) override { SysCommand(command); }
  void PostCommand(int id) override;

  // Keeps a window from taking input while a modal window it owns is up,
  // as Windows disables the owner of a modal dialog or message box.
  class InputBlock {
   public:
    explicit InputBlock(GtkWindowPeer* owner);
    ~InputBlock();
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

   private:
    GtkWindowPeer* m_owner;
  };
  bool InputBlocked() const { return m_inputBlocks > 0; }

  // The peer of a GTK window of ours, or null.
  static GtkWindowPeer* OfWidget(GtkWidget* widget);
  // A close request that came while the window could not take it: handled
  // once no handler of the window runs and no box blocks it.
  void HoldClose();
  void MaybeHandleHeldClose();

  // For the children: the GTK window, the container they are placed in, and
  // where the client area starts inside the window.
  GtkWidget* Widget() const { return m_widget; }
  void PlaceChild(GtkWidget* child, const Rect& clientRect);
  void AddControl(int controlId, GtkWidget* child);
  void ForgetControl(GtkWidget* child);

  // Whether the window has been shown and not yet drawn as it was shown: no
  // frame yet, or a maximise the window manager has not carried out. What a
  // child paints meanwhile is painted at a size that is about to change.
  bool OnItsWayToScreen() const;
  // Runs `ready` from the main loop once the window is no longer on its way
  // (drawn as shown, hidden or gone); at once when it is not.
  int WhenOnScreen(std::function<void()> ready);
  void CancelWhenOnScreen(int token);

 private:
  struct PictureButton;
  friend struct PictureButton;
  // The popup system menu while it is up.
  struct SystemMenu;

  // Runs one handler of the window with `defaultAction` as what Default()
  // does meanwhile (the platform's processing of that message).
  template <class Handler>
  auto Dispatch(std::function<std::intptr_t()> defaultAction, Handler&& handler);

  void BuildWidget(const DialogTemplate& dialog, GtkWindowPeer* owner);
  void SetWindowRect(const Rect& rect, bool fromSystem);
  void UpdateClientInsets();
  void NotifyMoveSize(bool moved, bool sized);
  void UpdateChildShape();
  void ApplyShape(cairo_region_t* region, bool inputOnly);
  void ApplyWindowBackground();
  // The non-client band of a window of that size (the caller destroys it),
  // and cr clipped to it.
  cairo_region_t* NonClientBand(int width, int height) const;
  void ClipToNonClientBand(cairo_t* cr, int width, int height) const;
  Hit HitTest(Point screen);
  Point PointerPoint(GdkWindow* window, double x, double y, double xRoot, double yRoot) const;
  Hit DefaultHitTest(Point screen) const;
  std::intptr_t DefaultNcButtonDown(Hit hit, const GdkEventButton* event);
  void UpdateCursor(Hit hit);
  void StartKeyboardMoveSize(bool size);
  void DropSystemMenu();
  void SysCommand(SysCommand command);
  void DefaultSysCommand(ui::SysCommand command);
  void Close();
  void CentreOnOwner(GtkWindow* box) const;
  void ForgetWidget();

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnFocus(GtkWidget*, GdkEventFocus* event, gpointer self);
  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static void OnRealize(GtkWidget*, gpointer self);
  static gboolean OnDeferredShow(gpointer self);
  void AwaitPlacementAtMap();
  void NoteDrawnAsShown();
  static gboolean OnScreenNow(gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);
  static gboolean OnMapped(GtkWidget* widget, GdkEvent*, gpointer);
  static void OnContainerAllocate(GtkWidget*, GdkRectangle*, gpointer self);
  static gboolean OnSettle(gpointer self);
  static gboolean OnPostedCommands(gpointer self);
  static void OnSystemMenuItem(GtkMenuItem* item, gpointer menu);
  static void OnSystemMenuDeactivate(GtkMenuShell*, gpointer menu);
  static gboolean OnSystemMenuClosed(gpointer menu);
  static gboolean OnHeldClose(gpointer self);

  Window& m_window;
  const DialogTemplate* m_template = nullptr;
  GtkWindowPeer* m_owner = nullptr;
  GtkWidget* m_widget = nullptr;     // the GtkWindow
  GtkWidget* m_container = nullptr;  // absolute placement of the children
  bool m_destroying = false;

  // The window rectangle as the system last saw it, and the rectangles asked
  // of the window manager that it has not confirmed yet.
  Rect m_rect;
  std::vector<Rect> m_pendingRects;
  std::optional<Rect> m_lastReported;  // by the window manager while requests were pending
  guint m_settleTimer = 0;
  // The client rectangle's distance from each edge of the window.
  Rect m_insets;
  bool m_iconic = false;
  bool m_zoomed = false;

  std::string m_title;
  int m_bigIcon = 0;
  int m_smallIcon = 0;

  // Modal loop.
  int m_inputBlocks = 0;                // modal windows owned by this one that are up
  GtkWidget* m_blockedFocus = nullptr;  // the focus before they came, weak
  bool m_modal = false;
  std::optional<int> m_modalResult;
  GMainLoop* m_loop = nullptr;
  bool m_closeHeld = false;
  guint m_heldCloseSource = 0;
  guint m_showSource = 0;  // a show held until the current handler is over
  // Shown and not yet drawn as shown, and what waits for that frame.
  bool m_awaitingFrame = false;
  std::vector<std::pair<int, std::function<void()>>> m_onScreenWaiters;
  int m_lastOnScreenToken = 0;
  guint m_onScreenSource = 0;
  guint m_frameWaitTimer = 0;

  // Defaults of the messages being handled, innermost last.
  std::vector<std::function<std::intptr_t()>> m_defaults;

  // Looks.
  bool m_layeredStyle = false;
  // The whole content, kept by the display server (a pixmap) once the
  // picture is handed over: premultiplied with a compositor, straight
  // colours without one.
  cairo_surface_t* m_layered = nullptr;
  cairo_region_t* m_boundingShape = nullptr;  // what shows of the window, once realized
  std::optional<Color> m_colorKey;
  std::optional<Color> m_background;       // else the dialog face colour
  cairo_surface_t* m_nonClient = nullptr;  // the frame as last painted

  // Mouse.
  bool m_trackingLeave = false;
  Hit m_ncPressHit = Hit::Nowhere;
  bool m_ncPressed = false;
  // A press on the caption becomes a move once the pointer goes far enough
  // with the button held, so that a double-click is not taken for a drag.
  std::optional<GdkEventButton> m_dragFrom;
  std::optional<Point> m_moveFrom;  // the window's place when the move began
  guint32 m_lastPressTime = 0;      // for telling double-clicks
  Point m_lastPressPoint;
  bool m_lastPressSingle = false;
  // The hit code the pointer's shape was last chosen for.
  Hit m_cursorHit = Hit::Nowhere;
  SystemMenu* m_systemMenu = nullptr;

  // Commands posted to the window, delivered from the main loop in order.
  std::vector<int> m_postedCommands;
  guint m_postedSource = 0;

  std::map<int, GtkWidget*> m_controls;
  std::map<int, std::unique_ptr<PictureButton>> m_buttons;
};

}  // namespace ui::gtk
