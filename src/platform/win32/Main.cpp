#include "platform/win32/WinApi.h"
// after windows.h
#include <commctrl.h>

#include "app/RunClient.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // All classes of ICC_WIN95_CLASSES.
  INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  ui::win32::Win32Platform platform;
  ui::SetPlatform(&platform);
  const int exitCode = RunClient();
  ui::SetPlatform(nullptr);
  return exitCode;
}
