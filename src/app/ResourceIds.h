#pragma once
// Numbers of the resources built into the executable.

namespace res {
inline constexpr int kAppIcon = 7;
inline constexpr int kSplashDialog = 102;
inline constexpr int kChatDialog = 105;
inline constexpr int kOverlayDialog = 130;
inline constexpr int kGameDialog = 134;
inline constexpr int kSplashPicture = 143;  // PNG
}  // namespace res
