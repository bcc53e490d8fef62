#include "skin/SkinnedFrame.h"

#include <algorithm>
#include <string_view>

#include "skin/ImageStore.h"
#include "ui/PageText.h"
#include "ui/Platform.h"

namespace {

constexpr CDUIButton::Rgb kCaptionLabel{217, 151, 87};
constexpr CDUIButton::Rgb kVipLabel{207, 255, 191};
constexpr ui::Color kTitleColour{255, 255, 255, 255};

}  // namespace

SkinnedFrame::SkinnedFrame(int templateId, const FrameVariant& variant)
    : ui::Dialog(templateId),
      m_nCaptionHeight(variant.captionHeight),
      m_nBorderWidth(variant.borderWidth),
      m_pFrameImage(ImageStore::Instance().GetImage(variant.backgroundPng)),
      m_variant(variant) {
  for (const int number : variant.captionButtonImages) {
    m_captionButtonImages.push_back(ImageStore::Instance().GetImage(number));
  }
  const ui::Size icon = ui::GetPlatform().SmallIconSize();
  m_rcIcon = ui::Rect::FromXYWH(variant.iconOrigin.x, variant.iconOrigin.y, icon.cx, icon.cy);
}

SkinnedFrame::~SkinnedFrame() = default;

CDUIButton& SkinnedFrame::AddCaptionButton(const char* label, const ui::Rect& rect, ui::Picture* strip, int id) {
  CDUIButton button;
  button.m_rect = rect;
  button.m_pImage = strip;
  button.m_nCells = 3;
  button.m_nID = id;
  button.m_pOwner = this;
  button.m_strText = label ? label : "";
  button.m_clrText = kCaptionLabel;
  return m_buttons[id] = button;
}

void SkinnedFrame::CreateCaptionButtons() {
  const int width = GetWindowRect().Width();
  ui::Picture* textStrip = nullptr;
  for (const CaptionButtonEntry& entry : m_variant.buttons) {
    ui::Picture* strip = nullptr;
    if (entry.strip >= 0) {
      strip = m_captionButtonImages.at(entry.strip);
    } else {
      if (!textStrip) textStrip = ImageStore::Instance().GetImage(m_variant.textStrip);
      strip = textStrip;
    }
    const ui::Rect rect{width + entry.createdLeft, m_variant.buttonTop, width + entry.createdRight,
                        m_variant.buttonBottom};
    CDUIButton& button = AddCaptionButton(entry.label, rect, strip, entry.id);
    if (entry.vip) {
      button.m_bVisible = false;
      button.m_clrText = kVipLabel;
      button.m_pIcon = ImageStore::Instance().GetImage(m_variant.vipIconPng);
      button.m_ptIcon = {rect.left, rect.top};
    }
  }
}

void SkinnedFrame::LayoutCaptionButtons(ui::SizeType type) {
  const int width = GetWindowRect().Width();
  for (const CaptionButtonEntry& entry : m_variant.buttons) {
    auto found = m_buttons.find(entry.id);
    if (found == m_buttons.end()) continue;
    CDUIButton& button = found->second;
    const ui::Rect rect{width + entry.laidLeft, m_variant.buttonTop, width + entry.laidRight, m_variant.buttonBottom};
    // An icon keeps its place within its button.
    button.m_ptIcon.x += rect.left - button.m_rect.left;
    button.m_ptIcon.y += rect.top - button.m_rect.top;
    button.m_rect = rect;
  }
  if (type == ui::SizeType::Restored || type == ui::SizeType::Maximized) PaintFrame();
}

bool SkinnedFrame::FilterMessage(unsigned message, std::intptr_t& result) {
  if (message == ui::kMsgStyledCaptionPaint || message == ui::kMsgStyledFramePaint) {
    // The visual-styles engine would draw its own caption over ours.
    PaintFrame();
    result = 0;
    return true;
  }
  if (message == ui::kMsgUninitMenuPopup) PaintFrame();
  return false;
}

bool SkinnedFrame::OnNcCreate() {
  if (Default() == 0) return false;
  CreateCaptionButtons();
  return true;
}

std::intptr_t SkinnedFrame::OnNcCalcSize(ui::NcCalcSizeParams& params) {
  if (!params.calcValidRects) return 0;
  auto& proposed = params.rects[0];
  if (proposed.left <= 0 && proposed.top <= 0 && proposed.right <= 0 && proposed.bottom <= 0) return Default();
  proposed.left += m_nBorderWidth;
  proposed.top += m_nCaptionHeight;
  proposed.right -= m_nBorderWidth;
  proposed.bottom -= m_nBorderWidth + m_variant.extraBottomInset;
  return 0;
}

void SkinnedFrame::OnGetMinMaxInfo(ui::MinMaxInfo& info) {
  info.minTrackHeight = m_nBorderWidth + m_nCaptionHeight;
  Default();
}

void SkinnedFrame::OnSize(ui::SizeType type, int cx, int cy) {
  Default();
  OnSizeClient(type, cx, cy);
  if (type != ui::SizeType::Minimized && type != ui::SizeType::MaxHide) {
    const ui::Rect rect = GetWindowRect();
    // The platform's round rectangle leaves out its right and bottom edge.
    Peer().SetRoundShape({0, 0, rect.Width() + 1, rect.Height() + 1}, 5, 5);
  }
  LayoutCaptionButtons(type);
}

void SkinnedFrame::OnNcPaint() { PaintFrame(); }

bool SkinnedFrame::OnNcActivate(bool /*active*/) {
  // No default: the platform never draws an active or inactive caption.
  PaintFrame();
  return true;
}

void SkinnedFrame::OnActivate(bool /*active*/) {
  Default();
  PaintFrame();
}

void SkinnedFrame::OnSysCommand(ui::SysCommand command) {
  // A close request is handled before anything is drawn again.
  if (command != ui::SysCommand::Close) PaintFrame();
  Default();
}

void SkinnedFrame::PaintFrame() {
  if (!m_pFrameImage) return;
  const ui::Rect window = GetWindowRect();
  Peer().PaintNonClient([&](ui::Canvas& canvas, const ui::Rect& clipBox) {
    DrawFrame(canvas, window.Width(), window.Height(), clipBox);
  });
}

void SkinnedFrame::DrawFrame(ui::Canvas& canvas, int W, int H, const ui::Rect& clipBox) const {
  const ui::Picture& image = *m_pFrameImage;
  const int iw = image.Width();
  const int ih = image.Height();
  const int b = m_nBorderWidth;
  const int c = m_nCaptionHeight;
  const int X = m_variant.fillColumn;
  const int R = m_variant.rightCapWidth;
  using ui::Rect;
  // Later pieces cover earlier ones: the right cap is drawn last so that it
  // wins over the left cap on a narrow window.
  canvas.DrawPicture(image, Rect::FromXYWH(0, H - b, W, b), Rect::FromXYWH(c, ih - b, b, b));
  canvas.DrawPicture(image, Rect::FromXYWH(b, c, W - 2 * b, H - c - b), Rect::FromXYWH(b + 5, c, 10, 10));
  canvas.DrawPicture(image, Rect::FromXYWH(0, c, b, H - c - b), Rect::FromXYWH(0, c, b, b));
  canvas.DrawPicture(image, Rect::FromXYWH(W - b, c, b, H - c - b), Rect::FromXYWH(iw - b, c, b, b));
  canvas.DrawPicture(image, Rect::FromXYWH(0, 0, W, c), Rect::FromXYWH(X, 0, 1, c));
  canvas.DrawPicture(image, Rect::FromXYWH(0, 0, X, c), Rect::FromXYWH(0, 0, X, c));
  canvas.DrawPicture(image, Rect::FromXYWH(W - R, 0, R, c), Rect::FromXYWH(iw - R, 0, R, c));

  if (const int icon = Peer().Icon(false)) {
    canvas.DrawIcon(icon, m_rcIcon.left, m_rcIcon.top, m_rcIcon.Width(), m_rcIcon.Height());
  }
  const std::string text = GetWindowText();
  const std::string_view title = ui::LaidOutPart(text);
  const ui::Rect titleBox = TitleBox(W);
  if (!title.empty() && !titleBox.IsEmpty()) {
    const ui::Font font{CDUIButton::kLabelFace, 12, m_variant.titleWeight};
    canvas.DrawText(std::string(title), font, kTitleColour, titleBox, ui::TextAlign::Near, ui::TextAlign::Near, true);
  }
  for (const auto& [id, button] : m_buttons) {
    if (clipBox.IsEmpty() || clipBox.Intersects(button.m_rect)) button.Draw(canvas);
  }
}

ui::Rect SkinnedFrame::TitleBox(int W) const {
  // The title ends where the first caption button begins, or at the border.
  int right = W - m_nBorderWidth;
  for (const auto& [id, button] : m_buttons) {
    if (button.m_bVisible && button.m_rect.top < m_nCaptionHeight) right = std::min(right, button.m_rect.left);
  }
  const ui::Point at = m_variant.titleOrigin;
  if (right <= at.x || m_nCaptionHeight <= at.y) return {};
  return {at.x, at.y, right, m_nCaptionHeight};
}
