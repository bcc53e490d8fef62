#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "FakePlatform.h"
#include "core/PlatformConfig.h"

namespace {

class PlatformConfigTest : public ::testing::Test {
 protected:
  fake::FakePlatform platform;
  PlatformConfig config;
};

TEST_F(PlatformConfigTest, DefaultsAreTheBuiltInAddressesAndValues) {
  config.LoadDefaults();
  const std::string game = build::kGameSite;
  const struct {
    const char* key;
    std::string value;
  } expected[] = {
      {"page", game + "/mini/login.html"},
      {"platform", "360"},
      {"home", game + "/index.html"},
      {"service", std::string(build::kServiceSite) + "/cs?type=game&gamekey=qelu"},
      {"bbs", std::string(build::kForumSite) + "/forum-2959-1.html"},
      {"charge", std::string(build::kPaySite) + "/order.html?gkey=qelu&skey=S1&qid="},
      {"airclient", "false"},
      {"firstopen", ""},
      {"success", ""},
  };
  for (const auto& row : expected) EXPECT_EQ(config.Get(row.key), row.value) << row.key;
}

TEST_F(PlatformConfigTest, DefaultsReplaceEarlierValuesAndCacheTheModuleDirectory) {
  config.Set("platform", "baidu");
  config.LoadDefaults();
  EXPECT_EQ(config.Get("platform"), "360");
  platform.modulePath = "D:\\Elsewhere\\x.exe";
  EXPECT_EQ(config.ModuleDir(), "C:\\Games\\Client");
}

TEST_F(PlatformConfigTest, AbsentAndCaseDifferentKeysAreEmptyAndNotInserted) {
  config.LoadDefaults();
  EXPECT_EQ(config.Get("Platform"), "");
  EXPECT_EQ(config.Get("PLATFORM"), "");
  EXPECT_EQ(config.Get("platform "), "");
  // A lookup that inserted would make the key present with an empty value;
  // setting it afterwards must be the only way it appears.
  config.Set("Platform", "x");
  EXPECT_EQ(config.Get("Platform"), "x");
  EXPECT_EQ(config.Get("platform"), "360");
}

TEST_F(PlatformConfigTest, SaveValueAppendsToAnExistingFileOnly) {
  const std::string ini = "C:\\Games\\Client\\pm_config.ini";
  platform.files[ini] = "a=b";
  config.SaveValue("firstopen", "false");
  EXPECT_EQ(platform.files[ini], "a=b\r\nfirstopen=false");
  EXPECT_EQ(config.Get("firstopen"), "") << "the file is never read back";

  platform.files.clear();
  config.SaveValue("firstopen", "false");
  EXPECT_TRUE(platform.files.empty()) << "no file is created";
}

TEST_F(PlatformConfigTest, SaveValueUsesThePlatformSeparator) {
  platform.modulePath = "/opt/kqv/KQVClient";
  platform.separator = '/';
  platform.files["/opt/kqv/pm_config.ini"] = "";
  config.SaveValue("k", "v");
  EXPECT_EQ(platform.files["/opt/kqv/pm_config.ini"], "\r\nk=v");
}

TEST_F(PlatformConfigTest, ModuleDirIsEverythingBeforeTheLastSeparator) {
  const struct {
    std::string path;
    std::string dir;
  } cases[] = {
      {"C:\\Games\\Client\\client.exe", "C:\\Games\\Client"},
      // Names whose characters were double-byte with a 0x5C trail byte in the
      // old code page ("表", "能") stay whole in UTF-8.
      {"C:\\游戏\\表能\\client.exe", "C:\\游戏\\表能"},
      {"client.exe", ""},
      {"C:\\client.exe", "C:"},
  };
  for (const auto& c : cases) {
    PlatformConfig fresh;
    platform.modulePath = c.path;
    EXPECT_EQ(fresh.ModuleDir(), c.dir) << c.path;
  }
}

TEST_F(PlatformConfigTest, AnEmptyModuleDirIsAskedForAgain) {
  platform.modulePath = "client.exe";
  EXPECT_EQ(config.ModuleDir(), "");
  platform.modulePath = "C:\\Now\\client.exe";
  EXPECT_EQ(config.ModuleDir(), "C:\\Now");
}

}  // namespace
