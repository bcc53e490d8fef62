#pragma once
// Our own names for the codes the windows exchange with the platform. The
// numeric values are Windows' own, so the Windows backend passes them through.

namespace ui {

enum class Hit : int {
  Error = -2,
  Transparent = -1,
  Nowhere = 0,
  Client = 1,
  Caption = 2,
  SysMenu = 3,
  GrowBox = 4,
  MinButton = 8,
  MaxButton = 9,
  Left = 10,
  Right = 11,
  Top = 12,
  TopLeft = 13,
  TopRight = 14,
  Bottom = 15,
  BottomLeft = 16,
  BottomRight = 17,
  Border = 18,
  Close = 20,
};

enum class SysCommand : unsigned {
  Size = 0xF000,
  Move = 0xF010,
  Minimize = 0xF020,
  Maximize = 0xF030,
  Close = 0xF060,
  KeyMenu = 0xF100,
  Restore = 0xF120,
};

enum class ShowCommand : int {
  Hide = 0,
  ShowNormal = 1,
  ShowMinimized = 2,
  Maximize = 3,
  Show = 5,
  Minimize = 6,
  Restore = 9,
};

// Dialog results and message-box answers.
enum DialogResult : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdYes = 6,
  kIdNo = 7,
};

enum MessageBoxStyle : unsigned {
  kMbOk = 0x0,
  kMbYesNo = 0x4,
};

// Size types of a size notification.
enum class SizeType : int {
  Restored = 0,
  Minimized = 1,
  Maximized = 2,
  MaxShow = 3,
  MaxHide = 4,
};

// Messages that reach a window's message filter (Window::FilterMessage)
// ahead of its handlers.
enum RawMessage : unsigned {
  kMsgStyledCaptionPaint = 0x00AE,  // the visual-styles engine draws the caption
  kMsgStyledFramePaint = 0x00AF,    // ... and the frame
  kMsgUninitMenuPopup = 0x0125,     // a popup menu of the window closed
};

enum VirtualKey : unsigned {
  kVkReturn = 13,
  kVkEscape = 27,
};

}  // namespace ui
