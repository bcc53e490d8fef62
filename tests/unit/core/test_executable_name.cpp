#include <gtest/gtest.h>

#include <string>

#include "FakePlatform.h"
#include "app/CKQVClientApp.h"
#include "core/ExecutableName.h"
#include "core/HttpGetText.h"

namespace {

const struct {
  const char* path;
  char separator;
  const char* name;
} kCases[] = {
    {"C:\\Games\\Client\\KQVClient.exe", '\\', "KQVClient"},
    {"/opt/kqv/kqv_client", '/', "kqv_client"},
    {"/opt/kqv.d/kqv_client", '/', "kqv_client"},  // a dot in a folder is no extension
    {"C:\\x\\game.v2.exe", '\\', "game.v2"},       // only the last extension goes
    {"/home/p/dir\\x.exe", '/', "dir\\x"},         // only the platform's separator splits
    {"KQVClient.exe", '\\', "KQVClient"},          // no folder at all
    {"/opt/kqv/.client", '/', ".client"},          // a hidden name keeps its dot
    {"C:\\Games\\", '\\', ""},
};

TEST(ExecutableBaseName, IsTheFileNameWithoutItsExtension) {
  for (const auto& c : kCases) EXPECT_EQ(ExecutableBaseName(c.path, c.separator), c.name) << c.path;
}

// The user agent and the application's name for its restart follow the same
// rule, read from the running platform.
TEST(ExecutableBaseName, IsTheUserAgentAndTheApplicationsName) {
  fake::FakePlatform platform;
  std::string agent;
  platform.onHttpGet = [&](const std::string&, bool, const std::string& userAgent) {
    agent = userAgent;
    return std::string();
  };
  for (const auto& c : kCases) {
    platform.modulePath = c.path;
    platform.separator = c.separator;
    agent = "unset";
    HttpGetText("http://h/", false);
    EXPECT_EQ(agent, c.name) << c.path;
    EXPECT_EQ(App().ExeName(), c.name) << c.path;
  }
}

}  // namespace
