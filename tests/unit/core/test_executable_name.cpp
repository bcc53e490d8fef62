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
  const char* suffix;
  const char* name;
} kCases[] = {
    {"C:\\Games\\Client\\KQVClient.exe", '\\', ".exe", "KQVClient"},
    {"/opt/kqv/kqv_client", '/', "", "kqv_client"},
    {"/opt/kqv.d/kqv_client", '/', "", "kqv_client"},      // a dot in a folder is no extension
    {"/opt/kqv/kqv.client.v2", '/', "", "kqv.client.v2"},  // no executable suffix: dots are the name's
    {"C:\\x\\game.v2.exe", '\\', ".exe", "game.v2"},       // only the last extension goes
    {"C:\\x\\game.bin", '\\', ".exe", "game"},             // whatever that extension is
    {"/home/p/dir\\x.exe", '/', ".exe", "dir\\x"},         // only the platform's separator splits
    {"KQVClient.exe", '\\', ".exe", "KQVClient"},          // no folder at all
    {"C:\\x\\.client", '\\', ".exe", ".client"},           // a hidden name keeps its dot
    {"C:\\Games\\", '\\', ".exe", ""},
};

TEST(ExecutableBaseName, IsTheFileNameWithoutItsExtensionWhereExecutablesHaveOne) {
  for (const auto& c : kCases) EXPECT_EQ(ExecutableBaseName(c.path, c.separator, c.suffix), c.name) << c.path;
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
    platform.executableSuffix = c.suffix;
    agent = "unset";
    HttpGetText("http://h/", false);
    EXPECT_EQ(agent, c.name) << c.path;
    EXPECT_EQ(App().ExeName(), c.name) << c.path;
  }
}

}  // namespace
