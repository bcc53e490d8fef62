#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FakeBrowser.h"
#include "RecordingCanvas.h"
#include "ui/Window.h"

namespace fake {

class FakePlatform;

// An in-memory window: keeps the state the system gives it, records the
// calls in order, and lets tests deliver the messages a real window gets.
class FakeWindowPeer : public ui::WindowPeer {
 public:
  FakeWindowPeer(FakePlatform& platform, ui::Window& window);
  ~FakeWindowPeer() override;

  // ui::WindowPeer
  bool Create(int templateId, ui::WindowPeer* owner) override;
  int RunModal(int templateId, ui::WindowPeer* owner) override;
  void EndModal(int result) override;
  void Destroy() override;
  bool Exists() const override { return exists; }
  std::intptr_t Default() override;
  bool DispatchToTarget(const ui::Message& message) override;
  void Show(ui::ShowCommand command) override;
  bool IsVisible() const override { return visible; }
  bool IsIconic() const override { return iconic; }
  bool IsZoomed() const override { return zoomed; }
  void Move(const ui::Rect& screenRect, bool repaint) override;
  ui::Rect WindowRect() const override { return rect; }
  ui::Rect ClientRect() const override { return {0, 0, rect.Width(), rect.Height()}; }
  void Invalidate(bool erase) override;
  void SetTitle(const std::string& text) override { title = text; }
  std::string Title() const override { return title; }
  void SetIcon(int iconId, bool big) override;
  int Icon(bool big) const override { return big ? bigIcon : smallIcon; }
  void AddLayeredStyle() override;
  void AddAppWindowStyle() override {
    log.push_back("app-window");
    appWindow = true;
  }
  ui::Rect AdjustWindowRect(const ui::Rect& client) const override {
    return {client.left - standardFrame.left, client.top - standardFrame.top, client.right + standardFrame.right,
            client.bottom + standardFrame.bottom};
  }
  void UpdateLayered(const ui::PixelImage& premultiplied) override;
  void SetColorKey(ui::Color key) override;
  void SetBackgroundColor(ui::Color color) override;
  void SetRoundShape(const ui::Rect& shape, int ellipseWidth, int ellipseHeight) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
  std::unique_ptr<ui::Browser> CreateBrowser(int controlId, const ui::Rect& at, ui::BrowserEvents& events) override;
  void AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) override;
  bool HasControl(int controlId) const override { return controls.count(controlId) != 0; }
  void MoveControl(int controlId, const ui::Rect& at, bool repaint) override;
  bool TrackMouseLeave() override {
    ++leaveTrackings;
    return trackLeaveAnswer;
  }
  void PaintNonClient(const NonClientPainter& paint) override;
  bool TrackSystemMenu(ui::Point screen) override;
  void SendSysCommand(ui::SysCommand command) override;
  void PostCommand(int id) override;

  // Messages, delivered the way the real backends deliver them.
  // A user move or a size change of the real window.
  void SendMove(ui::Rect screenRect);
  // A key press: the focus window's key filters first, then the dialog
  // manager. Returns true when a filter swallowed it.
  bool SendKeyDown(unsigned virtualKey);
  ui::Hit SendHitTest(ui::Point screen, ui::Hit defaultHit);
  void SendClose();
  void SendCommand(int id);
  // The non-client family. Each default processing is logged as
  // "default <message>" and answers defaultHit where an answer is needed.
  bool SendNcCreate(bool defaultAccepts);
  std::intptr_t SendNcCalcSize(ui::NcCalcSizeParams& params);
  void SendGetMinMaxInfo(ui::MinMaxInfo& info);
  void SendSize(ui::SizeType type);
  void SendNcPaint();
  bool SendNcActivate(bool active);
  void SendActivate(bool active);
  void SendNcButtonDown(ui::Point screen, ui::Hit hit = ui::Hit::Caption);
  void SendNcButtonUp(ui::Point screen, ui::Hit hit = ui::Hit::Caption);
  void SendNcDoubleClick(ui::Point screen, ui::Hit hit = ui::Hit::Caption);
  void SendNcMouseMove(ui::Point screen, ui::Hit hit = ui::Hit::Caption);
  void SendNcMouseLeave();
  // A message that only the window's filter sees; "default raw N" when it
  // passes the filter.
  std::intptr_t SendRaw(unsigned message);
  // Delivers the posted commands.
  void RunPosted();

  struct PictureButton {
    int normal = 0;
    int pressed = 0;
    ui::Rect rect;
  };

  FakePlatform& platform;
  ui::Window& window;
  FakeWindowPeer* owner = nullptr;
  int templateId = 0;
  bool exists = false;
  bool visible = false;
  bool iconic = false;
  bool zoomed = false;
  bool layered = false;
  bool appWindow = false;
  ui::Rect standardFrame{3, 26, 3, 3};  // left, top, right, bottom widths
  bool modal = false;
  std::optional<int> modalResult;
  ui::Rect rect;
  std::string title;
  int bigIcon = 0;
  int smallIcon = 0;
  std::optional<ui::Color> colorKey;
  std::optional<ui::Color> background;
  ui::PixelImage layeredImage;
  int layeredUpdates = 0;
  ui::Rect lastShape;
  ui::Size lastShapeEllipse;
  int leaveTrackings = 0;
  bool trackLeaveAnswer = true;
  bool hasSystemMenu = true;
  ui::Rect ncClipBox;               // handed to the non-client painter
  RecordingCanvas ncCanvas;         // what the last non-client paint drew
  std::vector<int> postedCommands;  // not yet delivered
  std::map<int, PictureButton> controls;
  std::vector<FakeBrowser*> browsers;
  std::vector<std::string> log;  // operations and messages in order
  std::vector<ui::Message> dispatched;

 private:
  // The default answer of the message being handled.
  std::vector<std::function<std::intptr_t()>> m_defaults;
  struct DefaultScope;
};

FakeWindowPeer& PeerOf(const ui::Window& window);

}  // namespace fake
