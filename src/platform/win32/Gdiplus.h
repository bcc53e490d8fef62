#pragma once
// GDI+ pictures and drawing for the Windows backend.

#include "platform/win32/WinApi.h"
// GDI+ expects min/max and the COM headers that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ui/Canvas.h"
#include "ui/PixelImage.h"

namespace ui::win32 {

// Starts GDI+ for the process's lifetime of the object. Pictures destroyed
// after the session has ended (process-wide stores released at exit) leave
// their memory to the process's end instead of calling into a stopped GDI+.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  static bool Running();

 private:
  ULONG_PTR m_token = 0;
};

// A decoded picture owned by GDI+.
class GdiplusPicture : public Picture {
 public:
  explicit GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap);
  ~GdiplusPicture() override;
  int Width() const override;
  int Height() const override;
  bool Ok() const override;
  Gdiplus::Bitmap* Bitmap() const { return m_bitmap.get(); }

 private:
  std::unique_ptr<Gdiplus::Bitmap> m_bitmap;
};

// A bitmap decoded from bytes in memory (PNG, BMP, ...); null when undecodable.
std::unique_ptr<Gdiplus::Bitmap> DecodeImageBytes(const void* data, size_t size);
// 32-bit blue, green, red, alpha with straight alpha, rows top-down.
std::optional<PixelImage> ToPixelImage(Gdiplus::Bitmap& bitmap);

// Drawing on a device context with GDI+.
class GdiplusCanvas : public Canvas {
 public:
  explicit GdiplusCanvas(HDC dc);
  void DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) override;
  void DrawIcon(int iconId, int x, int y, int cx, int cy) override;
  void DrawText(const std::string& text, const Font& font, Color color, const Rect& layout, TextAlign horizontal,
                TextAlign vertical, bool noWrap) override;
  void FillRect(const Rect& rect, Color color) override;

 private:
  HDC m_dc;
  Gdiplus::Graphics m_graphics;
};

}  // namespace ui::win32
