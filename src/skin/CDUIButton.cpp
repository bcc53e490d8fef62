#include "skin/CDUIButton.h"

#include <cstdint>
#include <string>

#include "ui/PageText.h"

unsigned CDUIButton::CellIndex() const {
  // Disabled over attention over pressed over hover, each only when the
  // strip has a cell for it.
  if (m_bDisabled && m_nCells >= 4) return 3;
  if (m_bAttention && m_nCells >= 2) return 1;
  if (m_bPressed && m_nCells >= 3) return 2;
  if (m_bHover) return m_nCells >= 2 ? 1 : 0;
  return 0;
}

void CDUIButton::Draw(ui::Canvas& canvas) const {
  if (!m_bVisible) return;
  ui::Rect layout = m_rect;
  if (m_pImage && m_nCells > 0) {
    const int cellWidth = static_cast<int>(static_cast<unsigned>(m_pImage->Width()) / m_nCells);
    const ui::Rect source =
        ui::Rect::FromXYWH(cellWidth * static_cast<int>(CellIndex()), 0, cellWidth, m_pImage->Height());
    canvas.DrawPicture(*m_pImage, m_rect, source);
  }
  if (m_pIcon) {
    const int iconWidth = m_pIcon->Width();
    const int iconHeight = m_pIcon->Height();
    canvas.DrawPicture(*m_pIcon, ui::Rect::FromXYWH(m_ptIcon.x, m_ptIcon.y, iconWidth, iconHeight),
                       ui::Rect::FromXYWH(0, 0, iconWidth, iconHeight));
    layout = ui::Rect::FromXYWH(m_ptIcon.x + iconWidth, m_rect.top, m_rect.Width() - iconWidth - 2, m_rect.Height());
  }
  if (m_strText.empty()) return;
  const ui::Font font{kLabelFace, kLabelPixelHeight, 400};
  const ui::Color color = m_bDisabled ? kDisabledLabel
                                      : ui::Color{static_cast<std::uint8_t>(m_clrText.r & 0xFF),
                                                  static_cast<std::uint8_t>(m_clrText.g & 0xFF),
                                                  static_cast<std::uint8_t>(m_clrText.b & 0xFF), 0xFF};
  canvas.DrawText(std::string(ui::LaidOutPart(m_strText, ui::kMaxLabelChars)), font, color, layout,
                  ui::TextAlign::Center, ui::TextAlign::Center, false);
}
