#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "core/PlatformConfig.h"
#include "launcher/FirstOpenReport.h"

namespace {

ui::SystemTime Utc(int hour, int minute, int second) {
  ui::SystemTime time;
  time.year = 2026;
  time.month = 12;
  time.day = 10;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

TEST(ReportTimeTest, TimeOfDayAtUtcPlusEight) {
  const struct {
    ui::SystemTime utc;
    const char* expected;
  } cases[] = {
      {Utc(3, 4, 5), "11:04:05 GMT+0800"},    {Utc(16, 0, 0), "00:00:00 GMT+0800"},
      {Utc(17, 30, 5), "01:30:05 GMT+0800"},  {Utc(15, 59, 59), "23:59:59 GMT+0800"},
      {Utc(23, 59, 59), "07:59:59 GMT+0800"}, {Utc(0, 0, 0), "08:00:00 GMT+0800"},
  };
  fake::FakePlatform platform;
  for (const auto& c : cases) {
    platform.now = c.utc;
    EXPECT_EQ(FormatReportTime(), c.expected);
  }
}

class FirstOpenReportTest : public ::testing::Test {
 protected:
  FirstOpenReportTest() {
    auto& config = PlatformConfig::Instance();
    config.LoadDefaults();
    config.Set("platform", "baidu");
    config.Set("success", "http://r.example/report?game=qelu");
    config.Set("firstopen", "");
    platform.files[kIni] = "firstopen=true";
    platform.adapters = std::vector<ui::HardwareAddress>{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
    platform.now = Utc(3, 4, 5);
  }

  const std::string kIni = "C:\\Games\\Client\\pm_config.ini";
  fake::FakePlatform platform;
};

TEST_F(FirstOpenReportTest, SendsOneRequestWithoutReadingItThenNotesIt) {
  bool bodyAsked = true;
  platform.onHttpGet = [&](const std::string&, bool readBody, const std::string& agent) {
    bodyAsked = readBody;
    EXPECT_EQ(agent, "KQVClient");
    EXPECT_EQ(platform.files[kIni], "firstopen=true") << "noted before the request";
    return std::string("ignored");
  };
  ReportFirstOpen();
  EXPECT_EQ(platform.httpRequests,
            std::vector<std::string>{"http://r.example/report?game=qelu&mac=001A2B3C4D5E&time=11:04:05 GMT+0800"});
  EXPECT_FALSE(bodyAsked);
  EXPECT_EQ(platform.files[kIni], "firstopen=true\r\nfirstopen=false");
}

TEST_F(FirstOpenReportTest, NotedEvenWhenTheRequestFailsAndWithoutAnAdapter) {
  platform.adapters.reset();
  platform.now = Utc(16, 0, 0);
  ReportFirstOpen();  // the fake answers nothing
  EXPECT_EQ(platform.httpRequests,
            std::vector<std::string>{"http://r.example/report?game=qelu&mac=&time=00:00:00 GMT+0800"});
  EXPECT_EQ(platform.files[kIni], "firstopen=true\r\nfirstopen=false");
}

TEST_F(FirstOpenReportTest, WithoutTheIniFileTheReportIsStillMade) {
  platform.files.clear();
  ReportFirstOpen();
  EXPECT_EQ(platform.httpRequests.size(), 1u);
  EXPECT_TRUE(platform.files.empty()) << "the file is never created";
}

TEST_F(FirstOpenReportTest, SkippedWhenNotBaiduAlreadyMadeOrNowhereToSend) {
  const struct {
    const char* key;
    const char* value;
  } skips[] = {
      {"platform", "360"},
      {"platform", "Baidu"},
      {"firstopen", "false"},
      {"success", ""},
  };
  for (const auto& skip : skips) {
    PlatformConfig::Instance().Set("platform", "baidu");
    PlatformConfig::Instance().Set("firstopen", "");
    PlatformConfig::Instance().Set("success", "http://r.example/report?game=qelu");
    PlatformConfig::Instance().Set(skip.key, skip.value);
    ReportFirstOpen();
    EXPECT_TRUE(platform.httpRequests.empty()) << skip.key << "=" << skip.value;
    EXPECT_EQ(platform.files[kIni], "firstopen=true") << skip.key << "=" << skip.value;
  }
  // Any other value of firstopen lets it go ahead.
  PlatformConfig::Instance().Set("success", "http://r.example/report?game=qelu");
  PlatformConfig::Instance().Set("firstopen", "FALSE");
  ReportFirstOpen();
  EXPECT_EQ(platform.httpRequests.size(), 1u);
}

}  // namespace
