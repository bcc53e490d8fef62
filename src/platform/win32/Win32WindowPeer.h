#pragma once

#include <functional>
#include <map>
#include <vector>

#include "platform/win32/WinApi.h"
#include "ui/Window.h"

namespace ui::win32 {

// A real window made from a dialog template of the executable. The window
// procedure of the dialog class is replaced as the window is created (before
// WM_NCCREATE), so every message reaches the Window's handlers, and Default()
// hands the current message to the dialog class's own procedure.
//
// One class, one file per mechanism: Win32WindowPeer.cpp (creation, the modal
// loop, showing and placement), Win32WindowMessages.cpp (the window procedure
// and the message table), Win32WindowInput.cpp (the pump's key filters, hit
// testing, commands, the system menu), Win32WindowLook.cpp (painting, title,
// icons, layered and shaped windows), Win32WindowControls.cpp (the browser
// and picture buttons) and Win32WindowMessageBox.cpp.
class Win32WindowPeer : public WindowPeer {
 public:
  explicit Win32WindowPeer(Window& window);
  ~Win32WindowPeer() override;

  bool Create(int templateId, WindowPeer* owner) override;
  int RunModal(int templateId, WindowPeer* owner) override;
  void EndModal(int result) override;
  void Destroy() override;
  bool Exists() const override;
  std::intptr_t Default() override;
  bool DispatchToTarget(const Message& message) override;

  void Show(ShowCommand command) override;
  bool IsVisible() const override;
  bool IsIconic() const override;
  bool IsZoomed() const override;
  void Move(const Rect& screenRect, bool repaint) override;
  Rect WindowRect() const override;
  Rect ClientRect() const override;
  void Invalidate(bool erase) override;
  void SetTitle(const std::string& text) override;
  std::string Title() const override;
  void SetIcon(int iconId, bool big) override;
  int Icon(bool big) const override;

  void AddLayeredStyle() override;
  void AddAppWindowStyle() override;
  Rect AdjustWindowRect(const Rect& client) const override;
  void UpdateLayered(const PixelImage& premultiplied) override;
  void SetColorKey(Color key) override;
  void SetBackgroundColor(Color color) override;
  void SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) override;

  int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
  std::unique_ptr<Browser> CreateBrowser(int controlId, const Rect& rect, BrowserEvents& events) override;
  void AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) override;
  bool HasControl(int controlId) const override;
  void MoveControl(int controlId, const Rect& rect, bool repaint) override;

  bool TrackMouseLeave() override;
  void PaintNonClient(const NonClientPainter& paint) override;
  bool TrackSystemMenu(Point screen) override;
  void SendSysCommand(SysCommand command) override;
  void PostCommand(int id) override;

  HWND Handle() const { return m_hwnd; }
  Window& Owner() const { return m_window; }
  // The peer of one of our windows, or null.
  static Win32WindowPeer* FromHandle(HWND hwnd);
  // Offers a queued message to the key filters of its target window and the
  // windows above it, then to the dialog manager of its dialog, then
  // translates and dispatches it. This is the message pump's step.
  static void ProcessMessage(MSG& msg);

 private:
  struct PictureButton {
    HBITMAP normal = nullptr;
    HBITMAP pressed = nullptr;
  };
  // The message being handled, for Default().
  struct Current {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    // Handlers that work on a copy of the message's data write it back
    // before the default processing and read it again afterwards.
    std::function<void()> beforeDefault;
    std::function<void()> afterDefault;
    // Turns the default's answer into ours where they differ.
    std::function<LRESULT(LRESULT)> adjustDefault;
    bool defaulted = false;
    LRESULT defaultResult = 0;
    // The answer of a handler that returns nothing: whatever the default said.
    LRESULT DefaultAnswer() const { return defaulted ? defaultResult : 0; }
  };
  class PaintCanvas;

  // Win32WindowPeer.cpp
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
  void Attach(HWND hwnd);
  LRESULT Detach(HWND hwnd, WPARAM wParam, LPARAM lParam);  // at WM_NCDESTROY
  void NoteShown();
  LRESULT HandleWindowPosChanged(const Current& current);
  void ReleaseResources();
  // Win32WindowMessages.cpp: the table of messages, and one function for
  // each message whose parameters are converted to the portable types.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Route(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(Current& current);
  LRESULT HandleInitDialog(const Current& current);
  LRESULT HandleNcCalcSize(Current& current);
  LRESULT HandleGetMinMaxInfo(Current& current);
  LRESULT HandleCommand(const Current& current);
  LRESULT HandleQueryDragIcon(const Current& current);
  LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT CallPrevious(const Current& current);
  // Win32WindowInput.cpp
  LRESULT HandleNcHitTest(Current& current);
  LRESULT CaptionHit(LRESULT hit, Point screen) const;
  // Win32WindowLook.cpp
  LRESULT HandlePaint(const Current& current);
  LRESULT HandleControlColor(const Current& current);
  LRESULT WithoutCaptionRedraw(UINT message, WPARAM wParam, LPARAM lParam);
  // Win32WindowControls.cpp
  LRESULT HandleDrawItem(const Current& current);
  bool DrawPictureButton(const DRAWITEMSTRUCT& item);

  Window& m_window;
  HWND m_hwnd = nullptr;
  WNDPROC m_previous = nullptr;
  bool m_quiet = false;  // being destroyed by its owner: no handlers
  std::vector<Current*> m_current;
  bool m_modal = false;
  bool m_modalEnded = false;
  int m_modalResult = 0;
  int m_bigIcon = 0;
  int m_smallIcon = 0;
  HBRUSH m_keyBrush = nullptr;
  HBRUSH m_backgroundBrush = nullptr;  // the dialog's own, else the face colour
  std::map<int, PictureButton> m_pictureButtons;
};

}  // namespace ui::win32
