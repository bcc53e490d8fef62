#pragma once

#include "platform/win32/Win32WindowPeer.h"

#include <windowsx.h>

// What the window peer's files share, and nothing else includes.
namespace ui::win32 {

// The executable, whose resources hold the templates, icons and bitmaps.
inline HINSTANCE Module() { return GetModuleHandleW(nullptr); }

// The point a mouse message carries.
inline Point PointOf(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

inline Rect ToRect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace ui::win32
