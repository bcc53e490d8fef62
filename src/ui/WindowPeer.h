#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Browser.h"
#include "Canvas.h"
#include "Codes.h"
#include "Geometry.h"
#include "Message.h"
#include "PixelImage.h"

namespace ui {

class Window;

// The backend's half of a window: one per Window, created by the platform.
// Operations act on the real window; the backend calls the Window's handlers
// when the real window receives the matching message.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;

  // Creates the window from a dialog template, modeless. owner may be null.
  virtual bool Create(int templateId, WindowPeer* owner) = 0;
  // Creates the window from its template and runs a modal loop until
  // EndModal or a quit request; destroys the window before returning.
  virtual int RunModal(int templateId, WindowPeer* owner) = 0;
  virtual void EndModal(int result) = 0;
  virtual void Destroy() = 0;
  virtual bool Exists() const = 0;
  // The platform's default processing of the message being handled.
  virtual std::intptr_t Default() = 0;
  // Sends the message straight to its target window; true when dispatched.
  virtual bool DispatchToTarget(const Message& message) = 0;

  virtual void Show(ShowCommand command) = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsIconic() const = 0;
  virtual bool IsZoomed() const = 0;
  virtual void Move(const Rect& screenRect, bool repaint) = 0;
  virtual Rect WindowRect() const = 0;  // screen coordinates
  virtual Rect ClientRect() const = 0;  // client coordinates
  virtual void Invalidate(bool erase) = 0;
  virtual void SetTitle(const std::string& text) = 0;
  virtual std::string Title() const = 0;
  virtual void SetIcon(int iconId, bool big) = 0;
  virtual int Icon(bool big) const = 0;  // 0 when none

  // Per-pixel alpha: the premultiplied picture becomes the window's content.
  virtual void AddLayeredStyle() = 0;
  virtual void UpdateLayered(const PixelImage& premultiplied) = 0;
  // Every pixel of this colour is transparent.
  virtual void SetColorKey(Color key) = 0;
  // What the window shows where nothing of its own has drawn yet, from its
  // first frame on (the dialog face colour until set).
  virtual void SetBackgroundColor(Color color) = 0;
  // Gives the window a task-bar entry of its own while it is shown.
  virtual void AddAppWindowStyle() = 0;
  // The window rectangle around a client rectangle under the platform's
  // standard frame for the window's style (no menu).
  virtual Rect AdjustWindowRect(const Rect& client) const = 0;
  // Rounded-rectangle window shape in window coordinates.
  virtual void SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) = 0;

  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
  virtual std::unique_ptr<Browser> CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) = 0;
  // A push button showing a bitmap resource, and a lighter one while pressed;
  // a click arrives as the window's command with the control id.
  virtual void AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) = 0;
  virtual bool HasControl(int controlId) const = 0;
  virtual void MoveControl(int controlId, const Rect& rect, bool repaint) = 0;

  // Asks for one OnNcMouseLeave when the pointer leaves the non-client area;
  // true when the request is armed.
  virtual bool TrackMouseLeave() = 0;
  // Paints the non-client area: client area excluded, drawn off screen and
  // copied in one go. The painter gets the clip box of the window's surface in
  // window coordinates; empty when nothing limits it.
  using NonClientPainter = std::function<void(Canvas&, const Rect& clipBox)>;
  virtual void PaintNonClient(const NonClientPainter& paint) = 0;

  // Pops the window's system menu up at a screen point, its left edge there.
  // The chosen entry reaches the window as OnSysCommand, and the menu's
  // closing as kMsgUninitMenuPopup. False when the window has no system menu.
  virtual bool TrackSystemMenu(Point screen) = 0;
  // Runs the system command through the window's own handling before
  // returning.
  virtual void SendSysCommand(SysCommand command) = 0;
  // Queues a command for the window; it arrives later as OnCommand(id).
  virtual void PostCommand(int id) = 0;
};

}  // namespace ui
