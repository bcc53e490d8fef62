#include "platform/win32/Gdiplus.h"

#include <shlwapi.h>

#include <cstring>

#include "platform/win32/Text.h"
#include "ui/PageText.h"

namespace ui::win32 {
namespace {
bool g_gdiplusRunning = false;
}

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  g_gdiplusRunning = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
}

GdiplusSession::~GdiplusSession() {
  if (g_gdiplusRunning) Gdiplus::GdiplusShutdown(m_token);
  g_gdiplusRunning = false;
}

bool GdiplusSession::Running() { return g_gdiplusRunning; }

GdiplusPicture::GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap) : m_bitmap(std::move(bitmap)) {}

GdiplusPicture::~GdiplusPicture() {
  if (!GdiplusSession::Running()) (void)m_bitmap.release();
}

int GdiplusPicture::Width() const { return Ok() ? static_cast<int>(m_bitmap->GetWidth()) : 0; }

int GdiplusPicture::Height() const { return Ok() ? static_cast<int>(m_bitmap->GetHeight()) : 0; }

bool GdiplusPicture::Ok() const { return m_bitmap && m_bitmap->GetLastStatus() == Gdiplus::Ok; }

std::optional<PixelImage> ToPixelImage(Gdiplus::Bitmap& bitmap) {
  const int width = static_cast<int>(bitmap.GetWidth());
  const int height = static_cast<int>(bitmap.GetHeight());
  if (bitmap.GetLastStatus() != Gdiplus::Ok || width <= 0 || height <= 0) return std::nullopt;
  PixelImage image;
  image.width = width;
  image.height = height;
  image.bitsPerPixel = 32;
  image.pitch = width * 4;
  image.pixels.resize(static_cast<size_t>(image.pitch) * static_cast<size_t>(height));
  // A caller-owned buffer with a positive stride gets the rows top-down.
  Gdiplus::BitmapData data{};
  data.Width = static_cast<UINT>(width);
  data.Height = static_cast<UINT>(height);
  data.Stride = image.pitch;
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = image.pixels.data();
  Gdiplus::Rect all(0, 0, width, height);
  if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                      &data) != Gdiplus::Ok) {
    return std::nullopt;
  }
  bitmap.UnlockBits(&data);
  return image;
}

namespace {

// A bitmap with its own copy of the pixels, independent of the stream it was
// decoded from (GDI+ reads a stream lazily for as long as the image lives).
std::unique_ptr<Gdiplus::Bitmap> FromPixelImage(const PixelImage& image) {
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(image.width, image.height, PixelFormat32bppARGB);
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::BitmapData data{};
  data.Width = static_cast<UINT>(image.width);
  data.Height = static_cast<UINT>(image.height);
  data.Stride = image.pitch;
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = const_cast<std::uint8_t*>(image.pixels.data());
  Gdiplus::Rect all(0, 0, image.width, image.height);
  if (bitmap->LockBits(&all, Gdiplus::ImageLockModeWrite | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                       &data) != Gdiplus::Ok) {
    return nullptr;
  }
  bitmap->UnlockBits(&data);
  return bitmap;
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> DecodeImageBytes(const void* data, size_t size) {
  if (!data || size == 0) return nullptr;
  IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size));
  if (!stream) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
  std::unique_ptr<Gdiplus::Bitmap> copy;
  if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
    if (auto pixels = ToPixelImage(*decoded)) copy = FromPixelImage(*pixels);
  }
  decoded.reset();
  stream->Release();
  return copy;
}

GdiplusCanvas::GdiplusCanvas(HDC dc) : m_dc(dc), m_graphics(dc) {}

void GdiplusCanvas::DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) {
  const auto* gdiplusPicture = dynamic_cast<const GdiplusPicture*>(&picture);
  if (!gdiplusPicture || !gdiplusPicture->Ok()) return;
  const Gdiplus::Rect to(dest.left, dest.top, dest.Width(), dest.Height());
  m_graphics.DrawImage(gdiplusPicture->Bitmap(), to, source.left, source.top, source.Width(), source.Height(),
                       Gdiplus::UnitPixel);
}

void GdiplusCanvas::DrawIcon(int iconId, int x, int y, int cx, int cy) {
  auto icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  if (!icon) return;
  HDC dc = m_graphics.GetHDC();
  DrawIconEx(dc, x, y, icon, cx, cy, 0, nullptr, DI_NORMAL);
  m_graphics.ReleaseHDC(dc);
  DestroyIcon(icon);
}

namespace {
Gdiplus::StringAlignment ToAlignment(TextAlign align) {
  switch (align) {
    case TextAlign::Center:
      return Gdiplus::StringAlignmentCenter;
    case TextAlign::Far:
      return Gdiplus::StringAlignmentFar;
    case TextAlign::Near:
      break;
  }
  return Gdiplus::StringAlignmentNear;
}
}  // namespace

void GdiplusCanvas::DrawText(const std::string& text, const Font& font, Color color, const Rect& layout,
                             TextAlign horizontal, TextAlign vertical, bool noWrap) {
  LOGFONTW description{};
  description.lfHeight = -font.pixelHeight;
  description.lfWeight = font.weight;
  const std::wstring face = Widen(font.face);
  lstrcpynW(description.lfFaceName, face.c_str(), LF_FACESIZE);
  Gdiplus::Font gdiplusFont(m_dc, &description);
  Gdiplus::StringFormat format;
  if (noWrap) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  format.SetAlignment(ToAlignment(horizontal));
  format.SetLineAlignment(ToAlignment(vertical));
  Gdiplus::SolidBrush brush(Gdiplus::Color(color.a, color.r, color.g, color.b));
  std::wstring wide = Widen(LaidOutPart(text));
  // The isolate marks (U+2066 to U+2069) came with Unicode 6.3: older
  // Windows text stacks may not know them, and Wine's GDI+ draws them as boxes. A page's text
  // keeps its embeddings closed inside it (IsolatePageText), which is what
  // keeps it from reordering the client's words after it.
  std::erase_if(wide, [](wchar_t c) { return c >= 0x2066 && c <= 0x2069; });
  const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(layout.left), static_cast<Gdiplus::REAL>(layout.top),
                           static_cast<Gdiplus::REAL>(layout.Width()), static_cast<Gdiplus::REAL>(layout.Height()));
  // An empty box draws from its corner without bounds; a box clips, Wine's
  // GDI+ included.
  const Gdiplus::GraphicsState state = m_graphics.Save();
  if (!layout.IsEmpty()) m_graphics.IntersectClip(box);
  m_graphics.DrawString(wide.c_str(), static_cast<INT>(wide.size()), &gdiplusFont,
                        layout.IsEmpty() ? Gdiplus::RectF(box.X, box.Y, 0, 0) : box, &format, &brush);
  m_graphics.Restore(state);
}

void GdiplusCanvas::FillRect(const Rect& rect, Color color) {
  Gdiplus::SolidBrush brush(Gdiplus::Color(color.a, color.r, color.g, color.b));
  m_graphics.FillRectangle(&brush, rect.left, rect.top, rect.Width(), rect.Height());
}

}  // namespace ui::win32
