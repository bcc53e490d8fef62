#include "FakeWindowPeer.h"

#include <algorithm>

#include "FakePlatform.h"

namespace fake {

// Sets the default answer for the duration of one message.
struct FakeWindowPeer::DefaultScope {
  DefaultScope(FakeWindowPeer& peer, std::intptr_t answer) : peer(peer) {
    peer.m_defaults.push_back([answer] { return answer; });
  }
  DefaultScope(FakeWindowPeer& peer, std::function<std::intptr_t()> action) : peer(peer) {
    peer.m_defaults.push_back(std::move(action));
  }
  ~DefaultScope() { peer.m_defaults.pop_back(); }
  FakeWindowPeer& peer;
};

FakeWindowPeer::FakeWindowPeer(FakePlatform& platform, ui::Window& window) : platform(platform), window(window) {}

FakeWindowPeer::~FakeWindowPeer() {
  auto& peers = platform.peers;
  peers.erase(std::remove(peers.begin(), peers.end(), this), peers.end());
}

FakeWindowPeer& PeerOf(const ui::Window& window) { return static_cast<FakeWindowPeer&>(window.Peer()); }

bool FakeWindowPeer::Create(int id, ui::WindowPeer* ownerPeer) {
  templateId = id;
  owner = static_cast<FakeWindowPeer*>(ownerPeer);
  exists = true;
  log.push_back("create");
  {
    DefaultScope scope(*this, 1);
    if (!window.OnNcCreate()) {
      exists = false;
      return false;
    }
  }
  {
    DefaultScope scope(*this, 0);
    window.OnCreate();
  }
  if (auto* dialog = dynamic_cast<ui::Dialog*>(&window)) {
    DefaultScope scope(*this, 1);
    log.push_back("initdialog");
    dialog->OnInitDialog();
  }
  return true;
}

int FakeWindowPeer::RunModal(int id, ui::WindowPeer* ownerPeer) {
  modal = true;
  modalResult.reset();
  Create(id, ownerPeer);
  if (!platform.quitPosted) {
    auto script = platform.onModal.find(id);
    if (script != platform.onModal.end()) script->second(*this);
  }
  modal = false;
  const int result = modalResult ? *modalResult : platform.quitPosted ? ui::kModalQuit : kModalNotEnded;
  Destroy();
  return result;
}

void FakeWindowPeer::EndModal(int result) {
  log.push_back("end " + std::to_string(result));
  if (modal) {
    modalResult = result;
  } else {
    visible = false;
  }
}

void FakeWindowPeer::Destroy() {
  if (!exists) return;
  exists = false;
  visible = false;
  log.push_back("destroy");
}

std::intptr_t FakeWindowPeer::Default() { return m_defaults.empty() ? 0 : m_defaults.back()(); }

bool FakeWindowPeer::DispatchToTarget(const ui::Message& message) {
  dispatched.push_back(message);
  return true;
}

void FakeWindowPeer::Show(ui::ShowCommand command) {
  log.push_back("show " + std::to_string(static_cast<int>(command)));
  visible = command != ui::ShowCommand::Hide;
  zoomed = command == ui::ShowCommand::Maximize;
  iconic = command == ui::ShowCommand::Minimize || command == ui::ShowCommand::ShowMinimized;
}

void FakeWindowPeer::Move(const ui::Rect& screenRect, bool repaint) {
  log.push_back(repaint ? "move" : "move-norepaint");
  SendMove(screenRect);
}

void FakeWindowPeer::SendMove(ui::Rect screenRect) {
  const bool moved = screenRect.left != rect.left || screenRect.top != rect.top;
  const bool sized = screenRect.Width() != rect.Width() || screenRect.Height() != rect.Height();
  rect = screenRect;
  // As on Windows, the move and size notifications arrive during the move.
  if (moved) {
    DefaultScope scope(*this, 0);
    window.OnMove(rect.left, rect.top);
  }
  if (sized) {
    DefaultScope scope(*this, 0);
    window.OnSize(ui::SizeType::Restored, rect.Width(), rect.Height());
  }
}

void FakeWindowPeer::Invalidate(bool erase) { log.push_back(erase ? "invalidate-erase" : "invalidate"); }

void FakeWindowPeer::SetIcon(int iconId, bool big) {
  log.push_back(big ? "icon-big" : "icon-small");
  (big ? bigIcon : smallIcon) = iconId;
}

void FakeWindowPeer::AddLayeredStyle() {
  log.push_back("layered");
  layered = true;
}

void FakeWindowPeer::UpdateLayered(const ui::PixelImage& premultiplied) {
  log.push_back("update-layered");
  layeredImage = premultiplied;
  ++layeredUpdates;
}

void FakeWindowPeer::SetColorKey(ui::Color key) {
  log.push_back("color-key");
  colorKey = key;
}

void FakeWindowPeer::SetBackgroundColor(ui::Color color) {
  log.push_back("background");
  background = color;
}

void FakeWindowPeer::SetRoundShape(const ui::Rect& shape, int ellipseWidth, int ellipseHeight) {
  log.push_back("shape");
  lastShape = shape;
  lastShapeEllipse = {ellipseWidth, ellipseHeight};
}

int FakeWindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  platform.messageBoxes.push_back({text, caption, style});
  return platform.onMessageBox ? platform.onMessageBox(text, caption, style) : ui::kIdNo;
}

std::unique_ptr<ui::Browser> FakeWindowPeer::CreateBrowser(int controlId, const ui::Rect& at,
                                                           ui::BrowserEvents& events) {
  auto browser = std::make_unique<FakeBrowser>(controlId, at, events);
  browsers.push_back(browser.get());
  platform.browsers.push_back(browser.get());
  if (platform.onBrowserCreated) platform.onBrowserCreated(*browser);
  return browser;
}

void FakeWindowPeer::AttachPictureButton(int controlId, int normalBitmapId, int pressedBitmapId) {
  controls[controlId] = {normalBitmapId, pressedBitmapId, {}};
}

void FakeWindowPeer::MoveControl(int controlId, const ui::Rect& at, bool) { controls.at(controlId).rect = at; }

void FakeWindowPeer::PaintNonClient(const NonClientPainter& paint) {
  log.push_back("paint-nc");
  ncCanvas = {};
  paint(ncCanvas, ncClipBox);
}

bool FakeWindowPeer::TrackSystemMenu(ui::Point screen) {
  log.push_back("system-menu " + std::to_string(screen.x) + "," + std::to_string(screen.y));
  return hasSystemMenu;
}

void FakeWindowPeer::SendSysCommand(ui::SysCommand command) {
  log.push_back("syscommand " + std::to_string(static_cast<unsigned>(command)));
  DefaultScope scope(*this, [this, command]() -> std::intptr_t {
    log.push_back("default syscommand");
    switch (command) {
      case ui::SysCommand::Minimize:
        Show(ui::ShowCommand::Minimize);
        break;
      case ui::SysCommand::Maximize:
        Show(ui::ShowCommand::Maximize);
        break;
      case ui::SysCommand::Restore:
        Show(ui::ShowCommand::Restore);
        break;
      case ui::SysCommand::Close:
        SendClose();
        break;
      default:
        break;
    }
    return 0;
  });
  window.OnSysCommand(command);
}

void FakeWindowPeer::PostCommand(int id) {
  log.push_back("post-command " + std::to_string(id));
  postedCommands.push_back(id);
}

void FakeWindowPeer::RunPosted() {
  std::vector<int> commands;
  commands.swap(postedCommands);
  for (const int id : commands) window.OnCommand(id);
}

namespace {
std::string HitText(ui::Hit hit) { return std::to_string(static_cast<int>(hit)); }
}  // namespace

bool FakeWindowPeer::SendNcCreate(bool defaultAccepts) {
  DefaultScope scope(*this, [this, defaultAccepts]() -> std::intptr_t {
    log.push_back("default nccreate");
    return defaultAccepts;
  });
  return window.OnNcCreate();
}

std::intptr_t FakeWindowPeer::SendNcCalcSize(ui::NcCalcSizeParams& params) {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default nccalcsize");
    return 0;
  });
  return window.OnNcCalcSize(params);
}

void FakeWindowPeer::SendGetMinMaxInfo(ui::MinMaxInfo& info) {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default getminmaxinfo");
    return 0;
  });
  window.OnGetMinMaxInfo(info);
}

void FakeWindowPeer::SendSize(ui::SizeType type) {
  DefaultScope scope(*this, 0);
  window.OnSize(type, rect.Width(), rect.Height());
}

void FakeWindowPeer::SendNcPaint() {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default ncpaint");
    return 0;
  });
  window.OnNcPaint();
}

bool FakeWindowPeer::SendNcActivate(bool active) {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default ncactivate");
    return 1;
  });
  return window.OnNcActivate(active);
}

void FakeWindowPeer::SendActivate(bool active) {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default activate");
    return 0;
  });
  window.OnActivate(active);
}

void FakeWindowPeer::SendNcButtonDown(ui::Point screen, ui::Hit hit) {
  DefaultScope scope(*this, [this, hit]() -> std::intptr_t {
    log.push_back("default ncbuttondown " + HitText(hit));
    return 0;
  });
  window.OnNcLButtonDown(hit, screen);
}

void FakeWindowPeer::SendNcButtonUp(ui::Point screen, ui::Hit hit) {
  DefaultScope scope(*this, [this, hit]() -> std::intptr_t {
    log.push_back("default ncbuttonup " + HitText(hit));
    return 0;
  });
  window.OnNcLButtonUp(hit, screen);
}

void FakeWindowPeer::SendNcDoubleClick(ui::Point screen, ui::Hit hit) {
  DefaultScope scope(*this, [this, hit]() -> std::intptr_t {
    log.push_back("default ncdoubleclick " + HitText(hit));
    return 0;
  });
  window.OnNcLButtonDblClk(hit, screen);
}

void FakeWindowPeer::SendNcMouseMove(ui::Point screen, ui::Hit hit) {
  DefaultScope scope(*this, [this, hit]() -> std::intptr_t {
    log.push_back("default ncmousemove " + HitText(hit));
    return 0;
  });
  window.OnNcMouseMove(hit, screen);
}

void FakeWindowPeer::SendNcMouseLeave() {
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    log.push_back("default ncmouseleave");
    return 0;
  });
  window.OnNcMouseLeave();
}

std::intptr_t FakeWindowPeer::SendRaw(unsigned message) {
  std::intptr_t result = 0;
  if (window.FilterMessage(message, result)) return result;
  log.push_back("default raw " + std::to_string(message));
  return 0;
}

bool FakeWindowPeer::SendKeyDown(unsigned virtualKey) {
  const ui::Message message{ui::Message::Kind::KeyDown, virtualKey, nullptr};
  for (FakeWindowPeer* target = this; target; target = target->owner) {
    if (target->window.PreTranslateMessage(message)) return true;
  }
  if (auto* dialog = dynamic_cast<ui::Dialog*>(&window)) {
    if (virtualKey == ui::kVkReturn) dialog->OnCommand(ui::kIdOk);
    if (virtualKey == ui::kVkEscape) dialog->OnCommand(ui::kIdCancel);
  }
  return false;
}

ui::Hit FakeWindowPeer::SendHitTest(ui::Point screen, ui::Hit defaultHit) {
  DefaultScope scope(*this, static_cast<std::intptr_t>(defaultHit));
  return window.OnNcHitTest(screen);
}

void FakeWindowPeer::SendClose() {
  log.push_back("close");
  // A dialog's default close is the dialog manager's cancel.
  DefaultScope scope(*this, [this]() -> std::intptr_t {
    if (dynamic_cast<ui::Dialog*>(&window)) window.OnCommand(ui::kIdCancel);
    return 0;
  });
  window.OnClose();
}

void FakeWindowPeer::SendCommand(int id) { window.OnCommand(id); }

}  // namespace fake
