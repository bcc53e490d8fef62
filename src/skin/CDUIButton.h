#pragma once

#include <string>

#include "ui/Canvas.h"
#include "ui/Geometry.h"

namespace ui {
class Window;
}

// A button that is not a window: the skinned frames keep their caption
// buttons as these values, paint them with the frame and drive their flags
// from the non-client mouse messages.
class CDUIButton {
 public:
  // The label's face and size: 9 points are 12 pixels at the 96 pixels per
  // inch every backend draws the frame at.
  static constexpr const char* kLabelFace = "宋体";
  static constexpr int kLabelPixelHeight = 9 * 96 / 72;
  static constexpr ui::Color kDisabledLabel{0x80, 0x80, 0x80, 0xFF};

  CDUIButton() = default;
  CDUIButton(const CDUIButton&) = default;
  CDUIButton& operator=(const CDUIButton&) = default;
  virtual ~CDUIButton() = default;

  // Paints onto a canvas in the owner window's coordinates (the non-client
  // area included); changes nothing.
  virtual void Draw(ui::Canvas& canvas) const;

  // The cell of the strip this button's state shows.
  unsigned CellIndex() const;

  ui::Rect m_rect;
  bool m_bHover = false;
  bool m_bPressed = false;
  bool m_bDisabled = false;
  bool m_bVisible = true;
  bool m_bChecked = false;
  bool m_bAttention = false;
  ui::Picture* m_pImage = nullptr;  // cells side by side; not owned
  unsigned m_nCells = 1;
  ui::Picture* m_pIcon = nullptr;  // drawn at its natural size; not owned
  ui::Point m_ptIcon;
  int m_nID = 0;
  ui::Window* m_pOwner = nullptr;
  std::string m_strText;
  struct Rgb {
    int r = 0, g = 0, b = 0;
  } m_clrText;
};
