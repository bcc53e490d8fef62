#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "skin/CDUIButton.h"
#include "skin/FrameVariant.h"
#include "ui/Window.h"

// The self-painted frame of the game and chat windows: it takes the whole
// non-client area over (client inset, rounded shape, caption buttons,
// painting) and answers the non-client mouse so that its drawn buttons and
// icon act like the platform's own. Dragging and sizing stay with the
// platform's default processing.
class SkinnedFrame : public ui::Dialog {
 public:
  SkinnedFrame(int templateId, const FrameVariant& variant);
  ~SkinnedFrame() override;

  // Repaints the whole non-client area in one copy.
  void PaintFrame();
  // Stores a button with the caption defaults under id, replacing any there.
  CDUIButton& AddCaptionButton(const char* label, const ui::Rect& rect, ui::Picture* strip, int id);
  // The button under a point in window coordinates: visible ones only, the
  // lowest id first; -1 for none.
  int HitTestButton(ui::Point point) const;
  // An id not there yet gets a default button; follow a change with PaintFrame().
  CDUIButton& Button(int id) { return m_buttons[id]; }
  const FrameVariant& Variant() const { return m_variant; }

  // Message filter and handlers.
  bool FilterMessage(unsigned message, std::intptr_t& result) override;
  bool OnNcCreate() override;
  std::intptr_t OnNcCalcSize(ui::NcCalcSizeParams& params) override;
  void OnGetMinMaxInfo(ui::MinMaxInfo& info) override;
  void OnSize(ui::SizeType type, int cx, int cy) override;
  void OnNcPaint() override;
  bool OnNcActivate(bool active) override;
  void OnActivate(bool active) override;
  void OnSysCommand(ui::SysCommand command) override;
  ui::Hit OnNcHitTest(ui::Point screen) override;
  void OnNcLButtonDown(ui::Hit hit, ui::Point screen) override;
  void OnNcLButtonUp(ui::Hit hit, ui::Point screen) override;
  void OnNcLButtonDblClk(ui::Hit hit, ui::Point screen) override;
  void OnNcMouseMove(ui::Hit hit, ui::Point screen) override;
  void OnNcMouseLeave() override;

 protected:
  // The action of a button whose role is CaptionRole::Own, on release.
  virtual void OnCaptionButton(int /*id*/) {}
  // The window's own size handling (its children), after the platform's and
  // before the frame's shape and layout.
  virtual void OnSizeClient(ui::SizeType /*type*/, int /*cx*/, int /*cy*/) {}

  int m_nCaptionHeight;
  int m_nBorderWidth;
  ui::Picture* m_pFrameImage;  // not owned; nothing is painted without it
  std::map<int, CDUIButton> m_buttons;
  int m_nHoverId = -1;
  bool m_bTracking = false;
  std::vector<ui::Picture*> m_captionButtonImages;  // not owned
  ui::Rect m_rcIcon;                                // window coordinates; also the system menu's hot spot

 private:
  void CreateCaptionButtons();
  void LayoutCaptionButtons(ui::SizeType type);
  void DrawFrame(ui::Canvas& canvas, int width, int height, const ui::Rect& clipBox) const;
  // Where the title may be drawn in a window of that width; empty for none.
  ui::Rect TitleBox(int width) const;
  ui::Point ToWindow(ui::Point screen) const;
  const CaptionButtonEntry* EntryOf(int id) const;
  void Press(int id);
  void ClearHover();

  const FrameVariant& m_variant;
};
