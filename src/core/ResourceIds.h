#pragma once
// Numbers of the resources built into the executable.

namespace res {
inline constexpr int kAppIcon = 7;
inline constexpr int kSplashDialog = 102;
inline constexpr int kChatDialog = 105;
inline constexpr int kOverlayDialog = 130;
inline constexpr int kGameDialog = 134;
inline constexpr int kSplashPicture = 143;  // PNG

// The launcher overlay's button pictures (bitmaps): each button's normal
// look and its lighter look while pressed.
inline constexpr int kCloseBitmap = 135;
inline constexpr int kClosePressedBitmap = 151;
inline constexpr int kForumBitmap = 153;
inline constexpr int kChargeBitmap = 154;
inline constexpr int kHomeBitmap = 155;
inline constexpr int kServiceBitmap = 156;
inline constexpr int kForumPressedBitmap = 157;
inline constexpr int kChargePressedBitmap = 158;
inline constexpr int kHomePressedBitmap = 159;
inline constexpr int kServicePressedBitmap = 160;
}  // namespace res
