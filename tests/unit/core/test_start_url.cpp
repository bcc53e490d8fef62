#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "core/MachineIdentity.h"
#include "core/PlatformConfig.h"
#include "core/StartUrl.h"

namespace {

const ui::HardwareAddress kAdapter{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

class StartUrlTest : public ::testing::Test {
 protected:
  StartUrlTest() {
    PlatformConfig::Instance().LoadDefaults();
    PlatformConfig::Instance().Set("page", kPage);
  }
  std::string With(const std::string& platformKey, const std::string& commandLine) {
    PlatformConfig::Instance().Set("platform", platformKey);
    platform.commandLine = commandLine;
    return BuildStartUrl();
  }

  static constexpr const char* kPage = "http://g.example/mini/login.html?from=client";
  fake::FakePlatform platform;
};

TEST_F(StartUrlTest, OnThe360PlatformTheQuotedAddressAfterUrlWins) {
  const struct {
    std::string commandLine;
    std::string expected;
  } cases[] = {
      {R"(-url "http://a.example/x?y=1")", "http://a.example/x?y=1"},
      // Everything after the first quote stays, further arguments included.
      {R"(-x -url "http://a.example/x" -y)", "http://a.example/x -y"},
      {"", kPage},
      {"-x -y", kPage},
      {"-URL \"http://a.example/\"", kPage},
      {R"(-url "")", ""},
      // Whatever stands before the option goes, quotes included.
      {R"("p" -url "http://a.example/x")", "http://a.example/x"},
      {R"("p" -url http://a.example/x)", "http://a.example/x"},
      // An unquoted address starts after the option and its blanks.
      {"-url http://a.example/x", "http://a.example/x"},
      {"-x -url \t http://a.example/x", "http://a.example/x"},
      {"-url", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(With("360", c.commandLine), c.expected) << c.commandLine;
}

TEST_F(StartUrlTest, OnBaiduTheMachineAddressIsAppendedWhateverTheCommandLine) {
  platform.adapters = std::vector<ui::HardwareAddress>{kAdapter, {1, 2, 3, 4, 5, 6}};
  EXPECT_EQ(With("baidu", R"(-url "http://a.example/")"), std::string(kPage) + "&mac=001A2B3C4D5E");
  platform.adapters.reset();
  EXPECT_EQ(With("baidu", ""), std::string(kPage) + "&mac=");
}

TEST_F(StartUrlTest, OtherPlatformsIgnoreTheCommandLine) {
  for (const char* key : {"6711", "", "Baidu", " 360"}) {
    EXPECT_EQ(With(key, R"(-url "http://a.example/")"), kPage) << key;
  }
  PlatformConfig::Instance().Set("page", "");
  EXPECT_EQ(With("6711", ""), "");
}

TEST(MacAddressTest, FirstAdapterAsTwelveUpperCaseDigits) {
  fake::FakePlatform platform;
  EXPECT_EQ(GetMacAddress(), "") << "no list";
  platform.adapters = std::vector<ui::HardwareAddress>{};
  EXPECT_EQ(GetMacAddress(), "") << "empty list";
  platform.adapters = std::vector<ui::HardwareAddress>{{0xFF, 0x00, 0xab, 0x0c, 0x10, 0x01}, kAdapter};
  EXPECT_EQ(GetMacAddress(), "FF00AB0C1001");
  // Asked anew each time.
  platform.adapters = std::vector<ui::HardwareAddress>{kAdapter};
  EXPECT_EQ(GetMacAddress(), "001A2B3C4D5E");
}

}  // namespace
