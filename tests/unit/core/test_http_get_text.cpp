#include <gtest/gtest.h>

#include <string>

#include "FakePlatform.h"
#include "core/HttpGetText.h"

namespace {

TEST(UserAgentFromModulePath, IsTheFileNameWithoutItsExtension) {
  const struct {
    const char* path;
    char separator;
    const char* agent;
  } cases[] = {
      {"C:\\Games\\Client\\KQVClient.exe", '\\', "KQVClient"},
      {"/opt/kqv/kqv_client", '/', "kqv_client"},
      {"/opt/kqv.d/kqv_client", '/', "kqv_client"},      // a dot in a folder is no extension
      {"C:\\x\\game.v2.exe", '\\', "game.v2"},            // only the last extension goes
      {"/home/p/dir\\x.exe", '/', "dir\\x"},              // only the platform's separator splits
      {"KQVClient.exe", '\\', "KQVClient"},               // no folder at all
      {"/opt/kqv/.client", '/', ".client"},               // a hidden name keeps its dot
      {"C:\\Games\\", '\\', ""},
  };
  for (const auto& c : cases) EXPECT_EQ(UserAgentFromModulePath(c.path, c.separator), c.agent) << c.path;
}

TEST(HttpGetText, HandsTheAddressUnchangedToThePlatformWithTheExecutablesName) {
  fake::FakePlatform platform;
  platform.modulePath = "D:\\Play\\KQVClient.exe";
  platform.separator = '\\';
  struct Seen {
    std::string url, agent;
    bool readBody;
  };
  std::vector<Seen> seen;
  platform.onHttpGet = [&](const std::string& url, bool readBody, const std::string& agent) {
    seen.push_back({url, agent, readBody});
    return std::string("answer");
  };
  const std::string address = "http://h/p?a=1&b=x y&c=%41";
  EXPECT_EQ(HttpGetText(address, true), "answer");
  HttpGetText(address, false);
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& s : seen) {
    EXPECT_EQ(s.url, address);
    EXPECT_EQ(s.agent, "KQVClient");
  }
  EXPECT_TRUE(seen[0].readBody);
  EXPECT_FALSE(seen[1].readBody);
}

}  // namespace
