#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "WindowPeer.h"

namespace ui {

// The base of the system's windows. Operations act on the real window through
// its peer; handlers are named after the messages they answer and default to
// the platform's own processing.
class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Operations.
  bool IsWindow() const { return m_peer->Exists(); }
  // Windows that own more than their peer release it here first.
  virtual void DestroyWindow() { m_peer->Destroy(); }
  void ShowWindow(ShowCommand command) { m_peer->Show(command); }
  bool IsWindowVisible() const { return m_peer->IsVisible(); }
  bool IsIconic() const { return m_peer->IsIconic(); }
  bool IsZoomed() const { return m_peer->IsZoomed(); }
  void MoveWindow(const Rect& rect, bool repaint = true) { m_peer->Move(rect, repaint); }
  Rect AdjustWindowRect(const Rect& client) const { return m_peer->AdjustWindowRect(client); }
  Rect GetWindowRect() const { return m_peer->WindowRect(); }
  Rect GetClientRect() const { return m_peer->ClientRect(); }
  void Invalidate(bool erase = true) { m_peer->Invalidate(erase); }
  void SetWindowText(const std::string& text) { m_peer->SetTitle(text); }
  std::string GetWindowText() const { return m_peer->Title(); }
  void SetIcon(int iconId, bool big) { m_peer->SetIcon(iconId, big); }
  int MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    return m_peer->MessageBox(text, caption, style);
  }
  void SendSysCommand(SysCommand command) { m_peer->SendSysCommand(command); }
  void PostCommand(int id) { m_peer->PostCommand(id); }
  std::intptr_t Default() { return m_peer->Default(); }
  WindowPeer& Peer() const { return *m_peer; }

  // Handlers. The backend calls them while the real window handles the message.
  // Offered each message ahead of everything else, by its Windows number
  // (backends without such messages offer those of RawMessage they make);
  // true answers the message with `result` and ends its processing.
  virtual bool FilterMessage(unsigned /*message*/, std::intptr_t& /*result*/) { return false; }
  virtual int OnCreate() { return static_cast<int>(Default()); }
  virtual void OnMove(int /*x*/, int /*y*/) { Default(); }
  virtual void OnSize(SizeType /*type*/, int /*cx*/, int /*cy*/) { Default(); }
  virtual Hit OnNcHitTest(Point /*screen*/) { return static_cast<Hit>(Default()); }
  virtual bool OnNcCreate() { return Default() != 0; }
  virtual std::intptr_t OnNcCalcSize(NcCalcSizeParams& /*params*/) { return Default(); }
  virtual void OnNcLButtonDown(Hit /*hit*/, Point /*screen*/) { Default(); }
  virtual void OnNcLButtonUp(Hit /*hit*/, Point /*screen*/) { Default(); }
  virtual void OnNcLButtonDblClk(Hit /*hit*/, Point /*screen*/) { Default(); }
  virtual void OnNcMouseMove(Hit /*hit*/, Point /*screen*/) { Default(); }
  virtual void OnNcMouseLeave() { Default(); }
  virtual void OnNcPaint() { Default(); }
  virtual bool OnNcActivate(bool /*active*/) { return Default() != 0; }
  virtual void OnActivate(bool /*active*/) { Default(); }
  virtual void OnGetMinMaxInfo(MinMaxInfo& /*info*/) { Default(); }
  virtual void OnSysCommand(SysCommand /*command*/) { Default(); }
  // A command from a control or the dialog manager; true when handled.
  virtual bool OnCommand(int /*id*/) { return false; }
  virtual void OnClose() { Default(); }
  // Painting of the client area; minimised windows draw their icon here.
  virtual void OnPaint(Canvas& /*canvas*/) { Default(); }
  virtual int OnQueryDragIcon() { return static_cast<int>(Default()); }
  // Offered every queued message bound for this window or its children
  // before dispatch; true swallows it.
  virtual bool PreTranslateMessage(const Message& /*message*/) { return false; }

 private:
  std::unique_ptr<WindowPeer> m_peer;
};

// Answer of DoModal when a quit request ended the modal loop.
inline constexpr int kModalQuit = -1;

// A window made from a dialog template, run modally or created modeless.
class Dialog : public Window {
 public:
  explicit Dialog(int templateId) : m_templateId(templateId) {}

  int DoModal(Window* owner = nullptr);
  bool Create(Window* owner);
  void EndDialog(int result) { Peer().EndModal(result); }
  int TemplateId() const { return m_templateId; }

  virtual bool OnInitDialog() { return true; }
  // The dialog manager's Return and Escape.
  virtual void OnOK() { EndDialog(kIdOk); }
  virtual void OnCancel() { EndDialog(kIdCancel); }
  bool OnCommand(int id) override;

 private:
  int m_templateId;
};

}  // namespace ui
