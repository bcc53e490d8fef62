#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuildConfig.h"
#include "FakePlatform.h"
#include "vip/VipServiceInfo.h"

namespace {

const std::string kFixed = std::string(build::kVipServiceBase) + "/client.html?platform=121140&gkey=qelu&type=1,2,3,4";
const char* const kGoodReply =
    R"({"errno":"0","data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"}})";

class VipServiceRequestTest : public ::testing::Test {
 protected:
  // Answers every request with `reply` and notes what the record held then.
  void Answer(std::string reply) {
    platform.onHttpGet = [this, reply](const std::string&, bool readBody, const std::string& agent) {
      errnoDuringRequest.push_back(info.m_nErrno);
      readBodies.push_back(readBody);
      agents.push_back(agent);
      return reply;
    };
  }

  fake::FakePlatform platform;
  VipServiceInfo info;
  std::vector<int> errnoDuringRequest;
  std::vector<bool> readBodies;
  std::vector<std::string> agents;
};

// The signatures below were computed apart from the client, with a stock MD5
// tool over "121140" "qelu" <skey> "1,2,3,4" "#" <key>.
TEST_F(VipServiceRequestTest, SendsTheSignedAddressWithTheServerIdUnescaped) {
  const struct {
    std::string skey;
    const char* sign;
  } cases[] = {
      {"S12", "e4ba2cc2f78ef6d8f631ba9f6e4fe7e5"},
      {"S1&x y", "6dd06114d9a634f55a56fbb46bafc9e4"},
      {"S\xE4\xB8\xAD", "0b8b4a1a18a08dd4ac8e2b1ea938e74c"},
      {"", "986a7013877cf2004d9eea86259aba7d"},
  };
  Answer("");
  for (const auto& c : cases) {
    platform.httpRequests.clear();
    info.QueryVipService(c.skey);
    ASSERT_EQ(platform.httpRequests.size(), 1u) << c.skey;
    EXPECT_EQ(platform.httpRequests[0], kFixed + "&skey=" + c.skey + "&sign=" + c.sign);
    EXPECT_EQ(VipServiceInfo::RequestAddress(c.skey), platform.httpRequests[0]);
  }
  for (bool readBody : readBodies) EXPECT_TRUE(readBody);
  EXPECT_EQ(agents.front(), "KQVClient");
}

TEST_F(VipServiceRequestTest, ResetsTheResultBeforeAskingAndReadsOnlyABareObject) {
  const struct {
    std::string reply;
    int errnoAfter;
  } cases[] = {
      {R"({"errno":"3"})", 3},
      {kGoodReply, 0},
      {"{\"errno\":\"3\"}\r\n", 3},  // the fetch drops a server's line breaks
      {"", -1},                      // failed request
      {"<html>502</html>", -1},      // an error page
      {R"( {"errno":"3"})", -1},     // white space before the object
      {R"({"errno":"3"} )", -1},     // ... or after it
      {"{\"errno\":\"3\"}\t", -1},
      {R"({"errno":"3"}x)", -1},
      {"{", -1},
      {"}", -1},
  };
  for (const auto& c : cases) {
    info.m_nErrno = 42;
    errnoDuringRequest.clear();
    Answer(c.reply);
    info.QueryVipService("S12");
    ASSERT_EQ(errnoDuringRequest.size(), 1u);
    EXPECT_EQ(errnoDuringRequest[0], -1) << c.reply;
    EXPECT_EQ(info.m_nErrno, c.errnoAfter) << c.reply;
  }
}

TEST_F(VipServiceRequestTest, AFailedQueryKeepsTheTextsOfTheLastGoodOne) {
  Answer(kGoodReply);
  info.QueryVipService("S12");
  ASSERT_EQ(info.m_nErrno, 0);
  for (const char* failed : {"", "<html>", R"({"errno":"1001"})"}) {
    Answer(failed);
    info.QueryVipService("S12");
    EXPECT_NE(info.m_nErrno, 0) << failed;
    EXPECT_EQ(info.m_strServerName, "s");
    EXPECT_EQ(info.m_strLogoutUrl, "l");
    EXPECT_EQ(info.m_strGsUrl, "g");
    EXPECT_EQ(info.m_strUserName, "u");
  }
  Answer("");
  info.QueryVipService("S12");
  EXPECT_EQ(info.m_nErrno, -1);
}

}  // namespace
