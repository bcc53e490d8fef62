#include <gtest/gtest.h>

#include <string>

#include "FakePlatform.h"
#include "RecordingCanvas.h"
#include "skin/CDUIButton.h"
#include "ui/PageText.h"

namespace {

class Strip : public ui::Picture {
 public:
  Strip(int width, int height) : m_width(width), m_height(height) {}
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  bool Ok() const override { return true; }

 private:
  int m_width, m_height;
};

CDUIButton TextButton(const ui::Picture& strip) {
  CDUIButton button;
  button.m_rect = ui::Rect::FromXYWH(100, 4, 82, 20);
  button.m_pImage = const_cast<ui::Picture*>(&strip);
  button.m_nCells = 3;
  button.m_nID = 10;
  button.m_strText = "官网";
  button.m_clrText = {217, 151, 87};
  return button;
}

TEST(DUIButtonTest, TheStateChoosesTheCellInItsOrderOfPrecedence) {
  struct Case {
    bool hover, pressed, attention, disabled;
    unsigned cells;
    unsigned cell;
  };
  const Case cases[] = {
      {false, false, false, false, 3, 0}, {true, false, false, false, 3, 1}, {true, true, false, false, 3, 2},
      {false, true, false, false, 3, 2},  {true, true, true, false, 3, 1},   {false, false, true, false, 3, 1},
      {true, true, true, true, 3, 1},     {true, true, true, true, 4, 3},    {false, false, false, true, 3, 0},
      {true, false, false, false, 1, 0},  {false, true, false, false, 2, 0}, {false, false, true, false, 1, 0},
  };
  const Strip strip(123, 20);
  for (const Case& c : cases) {
    CDUIButton button = TextButton(strip);
    button.m_bHover = c.hover;
    button.m_bPressed = c.pressed;
    button.m_bAttention = c.attention;
    button.m_bDisabled = c.disabled;
    button.m_nCells = c.cells;
    fake::RecordingCanvas canvas;
    button.Draw(canvas);
    ASSERT_EQ(canvas.pictures.size(), 1u);
    const unsigned cellWidth = 123u / c.cells;
    EXPECT_EQ(canvas.pictures[0].source,
              ui::Rect::FromXYWH(static_cast<int>(cellWidth * c.cell), 0, static_cast<int>(cellWidth), 20))
        << c.hover << c.pressed << c.attention << c.disabled << " cells " << c.cells;
    EXPECT_EQ(canvas.pictures[0].dest, button.m_rect);  // stretched to the button
  }
}

TEST(DUIButtonTest, CellsAreTheStripWidthDividedDownSoTheLastColumnsOfAnUnevenStripNeverShow) {
  for (const int width : {123, 125}) {
    const Strip strip(width, 20);
    CDUIButton button = TextButton(strip);
    button.m_bPressed = true;
    fake::RecordingCanvas canvas;
    button.Draw(canvas);
    ASSERT_EQ(canvas.pictures.size(), 1u);
    EXPECT_EQ(canvas.pictures[0].source, ui::Rect::FromXYWH(82, 0, 41, 20)) << width;
  }
}

TEST(DUIButtonTest, TheLabelIsCentredBothWaysInItsColourAndMayWrap) {
  const Strip strip(123, 20);
  CDUIButton button = TextButton(strip);
  button.m_clrText = {0x1D9, 151, 87};  // only the low byte counts
  fake::RecordingCanvas canvas;
  button.Draw(canvas);
  ASSERT_EQ(canvas.texts.size(), 1u);
  const auto& text = canvas.texts[0];
  EXPECT_EQ(text.text, "官网");
  EXPECT_EQ(text.font.face, "宋体");
  EXPECT_EQ(text.font.pixelHeight, 12);  // 9 points at 96 pixels per inch
  EXPECT_EQ(text.color, (ui::Color{0xD9, 151, 87, 255}));
  EXPECT_EQ(text.layout, button.m_rect);
  EXPECT_EQ(text.horizontal, ui::TextAlign::Center);
  EXPECT_EQ(text.vertical, ui::TextAlign::Center);
  EXPECT_FALSE(text.noWrap);

  button.m_bDisabled = true;
  fake::RecordingCanvas disabled;
  button.Draw(disabled);
  ASSERT_EQ(disabled.texts.size(), 1u);
  EXPECT_EQ(disabled.texts[0].color, (ui::Color{0x80, 0x80, 0x80, 0xFF}));
}

// A name from a page becomes a label that wraps: 64 KB without a break took
// seconds to lay out at every repaint. Only its first characters are drawn;
// the button keeps the whole label.
TEST(DUIButtonTest, OnlyTheFirstCharactersOfALongLabelAreLaidOut) {
  const Strip strip(123, 20);
  for (const std::string& piece : {std::string("x"), std::string("话")}) {
    CDUIButton button = TextButton(strip);
    std::string label;
    while (label.size() < 65536) label += piece;
    button.m_strText = label;
    fake::RecordingCanvas canvas;
    button.Draw(canvas);
    ASSERT_EQ(canvas.texts.size(), 1u);
    std::string expected;
    for (std::size_t i = 0; i < ui::kMaxLabelChars; ++i) expected += piece;
    EXPECT_EQ(canvas.texts[0].text, expected) << piece;
    EXPECT_EQ(button.m_strText, label);
  }
}

TEST(DUIButtonTest, AnIconComesFirstAtItsNaturalSizeAndMovesTheLabel) {
  const Strip strip(123, 20);
  const Strip icon(18, 18);
  CDUIButton button = TextButton(strip);
  button.m_rect = ui::Rect::FromXYWH(300, 4, 110, 20);
  button.m_pIcon = const_cast<Strip*>(&icon);
  button.m_ptIcon = {300, 4};
  button.m_strText = "VIP专员";
  fake::RecordingCanvas canvas;
  button.Draw(canvas);
  ASSERT_EQ(canvas.pictures.size(), 2u);
  EXPECT_EQ(canvas.pictures[0].picture, &strip);
  EXPECT_EQ(canvas.pictures[1].picture, &icon);
  EXPECT_EQ(canvas.pictures[1].dest, ui::Rect::FromXYWH(300, 4, 18, 18));
  EXPECT_EQ(canvas.pictures[1].source, ui::Rect::FromXYWH(0, 0, 18, 18));
  ASSERT_EQ(canvas.texts.size(), 1u);
  EXPECT_EQ(canvas.texts[0].layout, ui::Rect::FromXYWH(318, 4, 90, 20));
}

TEST(DUIButtonTest, AHiddenButtonDrawsNothingAndAnUnlabelledOneOnlyItsPictures) {
  const Strip strip(60, 20);
  CDUIButton button = TextButton(strip);
  button.m_bVisible = false;
  fake::RecordingCanvas hidden;
  button.Draw(hidden);
  EXPECT_EQ(hidden.calls, 0);

  button.m_bVisible = true;
  button.m_strText.clear();
  fake::RecordingCanvas unlabelled;
  button.Draw(unlabelled);
  EXPECT_EQ(unlabelled.pictures.size(), 1u);
  EXPECT_TRUE(unlabelled.texts.empty());
}

TEST(DUIButtonTest, DefaultsAreAVisibleIdleButtonWithoutIconOrOwner) {
  const CDUIButton button;
  EXPECT_EQ(button.m_rect, ui::Rect{});
  EXPECT_FALSE(button.m_bHover || button.m_bPressed || button.m_bDisabled || button.m_bChecked || button.m_bAttention);
  EXPECT_TRUE(button.m_bVisible);
  EXPECT_EQ(button.m_pIcon, nullptr);
  EXPECT_EQ(button.m_pOwner, nullptr);
  EXPECT_TRUE(button.m_strText.empty());
}

}  // namespace
