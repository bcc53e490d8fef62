#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "Sandbox.h"
#include "platform/gtk/CurlHttp.h"

namespace {

using std::chrono::milliseconds;
using ui::gtk::CurlHttpGet;
using ui::gtk::HttpLimits;

class CurlHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox.Reset(); }

  std::string Get(const std::string& pathAndQuery, bool readBody = true, const HttpLimits& limits = {}) {
    return CurlHttpGet(sandbox.Base() + pathAndQuery, readBody, "kqv_client", limits);
  }

  // Seconds taken by one request, with its answer.
  template <typename F>
  double Timed(F&& request, std::string& answer) {
    const auto start = std::chrono::steady_clock::now();
    answer = request();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  itest::Sandbox& sandbox = itest::Sandbox::Shared();
};

TEST_F(CurlHttpTest, ReturnsTheBodyWithoutLineBreaksWhateverTheStatus) {
  const struct {
    const char* query;
    std::string body;
  } cases[] = {
      {"/test/echo?body=ok%0D%0A", "ok"},
      {"/test/echo?body=a%0D%0Ab", "ab"},
      {"/test/echo?body=a%0Db", "ab"},
      {"/test/echo?body=a%0Ab", "ab"},
      {"/test/echo?body=%0D%0A%0A%0D", ""},
      {"/test/echo?body=%0D%0Aa%0D%0D%0A%0Ab%0A", "ab"},
      {"/test/echo?body=%09x%00y%20%E4%B8%AD%FF", std::string("\tx\0y \xE4\xB8\xAD\xFF", 9)},  // other bytes untouched
      {"/test/echo?body=", ""},
      {"/test/echo?status=404&body=not%20here%0D%0A", "not here"},
      {"/test/echo?status=500&body=%7B%22err%22%7D", "{\"err\"}"},
      {"/no/such/page", "<h1>404 Not Found</h1>"},
      {"/test/redirect?to=/test/echo%3Fbody%3Dmoved", "moved"},
      {"/test/echo?body=a b", "a b"},  // a space is sent escaped and arrives as one
  };
  for (const auto& c : cases) EXPECT_EQ(Get(c.query), c.body) << c.query;
}

TEST_F(CurlHttpTest, SendsTheAddressAndUserAgentAsGiven) {
  CurlHttpGet(sandbox.Base() + "/test/echo?skey=S1&b=x,y&sign=ff", true, "KQVClient");
  const auto log = sandbox.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["target"], "/test/echo?skey=S1&b=x,y&sign=ff");
  EXPECT_EQ(log[0]["user_agent"], "KQVClient");
  EXPECT_EQ(log[0]["method"], "GET");
}

TEST_F(CurlHttpTest, WithoutReadingTheBodyStillSendsTheRequest) {
  EXPECT_EQ(Get("/test/echo?body=unread&n=1", false), "");
  EXPECT_EQ(Get("/test/echo?status=404&body=x&n=2", false), "");
  // The answer's headers are awaited, its body is not: a body that never
  // arrives does not hold the caller.
  std::string answer;
  const double seconds = Timed([&] { return Get("/test/stall?phase=body&seconds=10&n=3", false); }, answer);
  EXPECT_EQ(answer, "");
  EXPECT_LT(seconds, 3.0);
  const auto log = sandbox.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0]["params"]["n"], "1");
  EXPECT_EQ(log[1]["params"]["n"], "2");
  EXPECT_EQ(log[2]["params"]["n"], "3");
}

TEST_F(CurlHttpTest, UnreachableOrUnusableAddressesGiveEmptyText) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(itest::RefusingPort()) + "/x";
  for (const std::string& address : {refused, std::string("not an address"), std::string("127.0.0.1/no-scheme"),
                                     "ftp://127.0.0.1:" + std::to_string(sandbox.Port()) + "/x",
                                     std::string("file:///etc/hostname"), std::string("")}) {
    EXPECT_EQ(CurlHttpGet(address, true, "kqv_client"), "") << address;
    EXPECT_EQ(CurlHttpGet(address, false, "kqv_client"), "") << address;
  }
}

TEST_F(CurlHttpTest, BodiesOverTheCapCountAsAFailedRead) {
  const std::size_t cap = HttpLimits{}.maxBodyBytes;
  const std::string atCap = std::to_string(cap), overCap = std::to_string(cap + 1);
  for (const char* length : {"1", "0"}) {  // with a Content-Length, and ended by closing
    EXPECT_EQ(Get("/test/big?length=" + std::string(length) + "&bytes=" + atCap), std::string(cap, 'x')) << length;
    EXPECT_EQ(Get("/test/big?length=" + std::string(length) + "&bytes=" + overCap), "") << length;
  }
  HttpLimits small;
  small.maxBodyBytes = 10;
  EXPECT_EQ(Get("/test/echo?body=%0D%0A12345678", true, small), "12345678");  // line breaks count
  EXPECT_EQ(Get("/test/echo?body=%0D%0A123456789", true, small), "");
}

// Each stall would hold the caller for 10 s or more; the bounds end it.
TEST_F(CurlHttpTest, StalledServersAreCutOffAtTheBounds) {
  HttpLimits limits;
  limits.connectTimeout = milliseconds(600);
  limits.totalTimeout = milliseconds(1200);
  const struct {
    const char* what;
    std::string address;
    double bound;
  } cases[] = {
      {"no status line", sandbox.Base() + "/test/stall?phase=head&seconds=10", 1.2},
      {"body stops half way", sandbox.Base() + "/test/stall?phase=body&seconds=10", 1.2},
      {"body trickles on", sandbox.Base() + "/test/trickle?seconds=10", 1.2},
  };
  for (const auto& c : cases) {
    std::string answer = "unset";
    const double seconds = Timed([&] { return CurlHttpGet(c.address, true, "kqv_client", limits); }, answer);
    EXPECT_EQ(answer, "") << c.what;
    EXPECT_GE(seconds, c.bound * 0.9) << c.what;
    EXPECT_LT(seconds, c.bound + 1.5) << c.what;
  }
  // A connection that is never accepted is ended by the connection bound,
  // well before the whole-request bound.
  itest::UnansweredListener listener;
  limits.totalTimeout = milliseconds(5000);
  std::string answer = "unset";
  const double seconds = Timed(
      [&] { return CurlHttpGet("http://127.0.0.1:" + std::to_string(listener.Port()) + "/x", true, "a", limits); },
      answer);
  EXPECT_EQ(answer, "");
  EXPECT_GE(seconds, 0.5);
  EXPECT_LT(seconds, 2.5);
}

}  // namespace
