#include <gtest/gtest.h>

#include "WineTestSupport.h"
#include "platform/win32/Win32Platform.h"

int main(int argc, char** argv) {
  ui::win32::Win32Platform platform;
  ui::SetPlatform(&platform);
  if (wine_tests::RunAsChild()) return 0;
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  ui::SetPlatform(nullptr);
  return result;
}
