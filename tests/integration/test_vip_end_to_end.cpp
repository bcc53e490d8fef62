#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "BuildConfig.h"
#include "FakePlatform.h"
#include "Sandbox.h"
#include "platform/gtk/SoupHttp.h"
#include "vip/VipServiceInfo.h"

namespace {

// The in-memory platform with the real libsoup transport. The build's service
// address points at the stand-in's usual port; requests go to this test's
// stand-in instead, with everything after the host unchanged.
class SoupPlatform : public fake::FakePlatform {
 public:
  explicit SoupPlatform(std::string sandboxBase) {
    modulePath = "/opt/kqv/kqv_client";
    separator = '/';
    limits.totalTimeout = std::chrono::milliseconds(1500);
    onHttpGet = [this, sandboxBase](const std::string& url, bool readBody, const std::string& agent) {
      const std::string configured = build::kVipServiceBase;
      std::string address = url;
      if (address.rfind(configured, 0) == 0) address = sandboxBase + "/vip" + address.substr(configured.size());
      return ui::gtk::SoupHttpGet(address, readBody, agent, limits);
    };
  }
  HttpLimits limits;
};

class VipEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox.Reset(); }

  void ExpectContact(int server) {
    EXPECT_EQ(info.m_nErrno, 0);
    ExpectContactTexts(server);
  }

  void ExpectContactTexts(int server) {
    const std::string n = std::to_string(server);
    EXPECT_EQ(info.m_strServerName, "双线" + n + "服");
    EXPECT_EQ(info.m_strLogoutUrl, sandbox.Base() + "/vip/logout.html");
    const std::string name = std::string(server < 10 ? "0" : "") + n;
    // The chat page is told the contact's name: 客服 percent-encoded.
    EXPECT_EQ(info.m_strGsUrl, sandbox.Base() + "/vip/chat.html?gs=%E5%AE%A2%E6%9C%8D" + name);
    EXPECT_EQ(info.m_strUserName, "客服" + name);
  }

  itest::Sandbox& sandbox = itest::Sandbox::Shared();
  SoupPlatform platform{sandbox.Base()};
  VipServiceInfo info;
};

TEST_F(VipEndToEndTest, AGoodQueryFillsTheRecordWithTheContact) {
  info.QueryVipService("S12");
  ExpectContact(12);
  const auto log = sandbox.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["path"], "/vip/client.html");
  EXPECT_EQ(log[0]["params"]["skey"], "S12");
  EXPECT_EQ(log[0]["params"]["type"], "1,2,3,4");
  EXPECT_EQ(log[0]["user_agent"], "kqv_client");
}

// The service verifies the signature over the bytes it receives: a space in
// the server id survives the trip (the signature holds, the server is just
// unknown), while an '&' splits the id at the service (the signature fails).
// A failed query keeps the last contact's texts.
TEST_F(VipEndToEndTest, TheServiceJudgesTheSignatureAndTheServer) {
  const struct {
    const char* skey;
    int errnoAfter;
  } cases[] = {
      {"S7", 0},
      {"S100", 1002},  // unknown server
      {"S1 2", 1002},  // signed correctly, unknown server
      {"S1&x", 1001},  // the service reads skey=S1: sign error
  };
  for (const auto& c : cases) {
    info.QueryVipService(c.skey);
    EXPECT_EQ(info.m_nErrno, c.errnoAfter) << c.skey;
    ExpectContactTexts(7);
  }
}

TEST_F(VipEndToEndTest, RepliesOfTheWrongShapeOrTooLateLeaveNoResult) {
  const struct {
    const char* mode;
    int errnoAfter;
  } cases[] = {
      {"garbage", -1},   {"empty", -1}, {"whitespace", -1},  // blanks around the object: not read
      {"stall", -1},                                         // cut off by the request bound
      {"linebreaks", 0},                                     // line breaks vanish in transport: read
  };
  sandbox.SetMode("vip_stall", "10");
  for (const auto& c : cases) {
    sandbox.SetMode("vip", c.mode);
    info.m_nErrno = 0;
    const auto start = std::chrono::steady_clock::now();
    info.QueryVipService("S3");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(info.m_nErrno, c.errnoAfter) << c.mode;
    EXPECT_LT(seconds, 1.5 + 1.5) << c.mode;
  }
  ExpectContactTexts(3);
  EXPECT_EQ(sandbox.Log().size(), 5u);
}

}  // namespace
