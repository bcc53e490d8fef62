#include <gtest/gtest.h>

#include <string>

#include "FakePlatform.h"
#include "core/HttpGetText.h"

namespace {

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
