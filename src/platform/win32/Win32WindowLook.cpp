#include "platform/win32/Win32WindowPeer.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/win32/Gdiplus.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeerInternal.h"

// The look: painting, the self-painted frame, title and icons, background
// brushes, layered and shaped windows.
namespace ui::win32 {

// Drawing for WM_PAINT. The paint cycle begins only when the handler draws,
// so a handler that asks for the default painting leaves it to the dialog.
class Win32WindowPeer::PaintCanvas : public Canvas {
 public:
  explicit PaintCanvas(HWND hwnd) : m_hwnd(hwnd) {}
  ~PaintCanvas() override { End(); }
  bool Begun() const { return m_dc != nullptr; }
  void End() {
    if (!m_dc) return;
    m_canvas.reset();
    EndPaint(m_hwnd, &m_paint);
    m_dc = nullptr;
  }
  void DrawPicture(const Picture& picture, const Rect& dest, const Rect& source) override {
    Get().DrawPicture(picture, dest, source);
  }
  void DrawIcon(int iconId, int x, int y, int cx, int cy) override { Get().DrawIcon(iconId, x, y, cx, cy); }
  void DrawText(const std::string& text, const Font& font, Color color, const Rect& layout, TextAlign horizontal,
                TextAlign vertical, bool noWrap) override {
    Get().DrawText(text, font, color, layout, horizontal, vertical, noWrap);
  }
  void FillRect(const Rect& rect, Color color) override { Get().FillRect(rect, color); }

 private:
  GdiplusCanvas& Get() {
    if (!m_dc) {
      m_dc = BeginPaint(m_hwnd, &m_paint);
      // A minimised window draws its icon on the icon's own background.
      if (::IsIconic(m_hwnd)) SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(m_dc), 0);
      m_canvas = std::make_unique<GdiplusCanvas>(m_dc);
    }
    return *m_canvas;
  }

  HWND m_hwnd;
  HDC m_dc = nullptr;
  PAINTSTRUCT m_paint{};
  std::unique_ptr<GdiplusCanvas> m_canvas;
};

LRESULT Win32WindowPeer::HandlePaint(const Current& current) {
  PaintCanvas canvas(m_hwnd);
  m_window.OnPaint(canvas);
  if (!canvas.Begun() && !current.defaulted) {
    // Nothing drawn and nothing asked of the default: the update region
    // still has to be validated, or WM_PAINT would come back forever.
    PAINTSTRUCT paint;
    BeginPaint(m_hwnd, &paint);
    EndPaint(m_hwnd, &paint);
  }
  return current.DefaultAnswer();
}

LRESULT Win32WindowPeer::HandleControlColor(const Current& current) {
  // A colour-keyed window paints its background in the key colour, so
  // all of it but its controls is transparent.
  if (m_keyBrush) {
    CallPrevious(current);
    return reinterpret_cast<LRESULT>(m_keyBrush);
  }
  // The dialog manager erases the dialog with this brush.
  if (current.message == WM_CTLCOLORDLG && m_backgroundBrush) {
    CallPrevious(current);
    return reinterpret_cast<LRESULT>(m_backgroundBrush);
  }
  return CallPrevious(current);
}

// The default processing of a new title or icon draws the caption straight
// onto the screen, past WM_NCPAINT: the classic look draws it itself, the
// visual styles through 0x00AE, and Wine draws its own. A window that paints
// its own frame would show the platform's caption until its next paint. The
// default runs with the window marked hidden, so it draws nothing, and the
// non-client area is then painted the window's own way.
LRESULT Win32WindowPeer::WithoutCaptionRedraw(UINT message, WPARAM wParam, LPARAM lParam) {
  const LONG style = GetWindowLongW(m_hwnd, GWL_STYLE);
  if ((style & WS_CAPTION) != WS_CAPTION || !(style & WS_VISIBLE)) return CallPrevious(message, wParam, lParam);
  SetWindowLongW(m_hwnd, GWL_STYLE, style & ~WS_VISIBLE);
  const LRESULT result = CallPrevious(message, wParam, lParam);
  if (m_hwnd) {
    SetWindowLongW(m_hwnd, GWL_STYLE, GetWindowLongW(m_hwnd, GWL_STYLE) | WS_VISIBLE);
    SendMessageW(m_hwnd, WM_NCPAINT, 1, 0);
  }
  return result;
}

void Win32WindowPeer::Invalidate(bool erase) {
  if (m_hwnd) InvalidateRect(m_hwnd, nullptr, erase);
}

void Win32WindowPeer::SetTitle(const std::string& text) {
  if (m_hwnd) SetWindowTextW(m_hwnd, Widen(text).c_str());
}

std::string Win32WindowPeer::Title() const {
  if (!m_hwnd) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(m_hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void Win32WindowPeer::SetIcon(int iconId, bool big) {
  if (!m_hwnd) return;
  const int cx = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
  const int cy = GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
  auto icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, cx, cy, LR_SHARED));
  if (!icon) return;
  SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  (big ? m_bigIcon : m_smallIcon) = iconId;
}

int Win32WindowPeer::Icon(bool big) const { return big ? m_bigIcon : m_smallIcon; }

void Win32WindowPeer::AddLayeredStyle() {
  if (!m_hwnd) return;
  SetWindowLongW(m_hwnd, GWL_EXSTYLE, GetWindowLongW(m_hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
}

void Win32WindowPeer::UpdateLayered(const PixelImage& premultiplied) {
  if (!m_hwnd || premultiplied.Empty()) return;
  const int width = premultiplied.width;
  const int height = premultiplied.height;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // rows bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 4);
  HDC windowDc = GetDC(m_hwnd);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    auto* rows = static_cast<std::uint8_t*>(bits);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* to = rows + static_cast<size_t>(height - 1 - y) * rowBytes;
      const std::uint8_t* from = premultiplied.pixels.data() + static_cast<size_t>(y) * premultiplied.pitch;
      if (premultiplied.bitsPerPixel == 32) {
        std::copy(from, from + rowBytes, to);
      } else if (premultiplied.bitsPerPixel == 24) {
        for (int x = 0; x < width; ++x) {
          to[x * 4 + 0] = from[x * 3 + 0];
          to[x * 4 + 1] = from[x * 3 + 1];
          to[x * 4 + 2] = from[x * 3 + 2];
          to[x * 4 + 3] = 255;
        }
      }
    }
    HGDIOBJ previous = SelectObject(memoryDc, dib);
    SIZE size{width, height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, windowDc, nullptr, &size, memoryDc, &source, 0, &blend, ULW_ALPHA);
    SelectObject(memoryDc, previous);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memoryDc);
  ReleaseDC(m_hwnd, windowDc);
}

void Win32WindowPeer::SetColorKey(Color key) {
  if (!m_hwnd) return;
  const COLORREF colour = RGB(key.r, key.g, key.b);
  SetLayeredWindowAttributes(m_hwnd, colour, 0, LWA_COLORKEY);
  if (m_keyBrush) DeleteObject(m_keyBrush);
  m_keyBrush = CreateSolidBrush(colour);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Win32WindowPeer::SetBackgroundColor(Color color) {
  if (!m_hwnd) return;
  if (m_backgroundBrush) DeleteObject(m_backgroundBrush);
  m_backgroundBrush = CreateSolidBrush(RGB(color.r, color.g, color.b));
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Win32WindowPeer::SetRoundShape(const Rect& rect, int ellipseWidth, int ellipseHeight) {
  if (!m_hwnd) return;
  HRGN region = CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, ellipseWidth, ellipseHeight);
  // The window owns the region from here on.
  if (region && !SetWindowRgn(m_hwnd, region, TRUE)) DeleteObject(region);
}

void Win32WindowPeer::AddAppWindowStyle() {
  if (!m_hwnd) return;
  SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
}

Rect Win32WindowPeer::AdjustWindowRect(const Rect& client) const {
  RECT rect{client.left, client.top, client.right, client.bottom};
  if (m_hwnd) {
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
  }
  return ToRect(rect);
}

void Win32WindowPeer::PaintNonClient(const NonClientPainter& paint) {
  if (!m_hwnd) return;
  RECT window{};
  GetWindowRect(m_hwnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  if (width <= 0 || height <= 0) return;
  // The client area in window coordinates, which the frame never draws over.
  RECT client{};
  GetClientRect(m_hwnd, &client);
  POINT origin{0, 0};
  ClientToScreen(m_hwnd, &origin);
  OffsetRect(&client, origin.x - window.left, origin.y - window.top);

  HDC windowDc = GetWindowDC(m_hwnd);
  ExcludeClipRect(windowDc, client.left, client.top, client.right, client.bottom);
  RECT clip{};
  GetClipBox(windowDc, &clip);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
  HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  SetBkMode(memoryDc, TRANSPARENT);
  {
    GdiplusCanvas canvas(memoryDc);
    paint(canvas, Rect{clip.left, clip.top, clip.right, clip.bottom});
  }
  BitBlt(windowDc, 0, 0, width, height, memoryDc, 0, 0, SRCCOPY);
  SelectClipRgn(windowDc, nullptr);
  SelectObject(memoryDc, previous);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(m_hwnd, windowDc);
}

}  // namespace ui::win32
