#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "LoopbackServer.h"
#include "Sandbox.h"
#include "platform/gtk/SoupHttp.h"

namespace {

using std::chrono::milliseconds;
using ui::gtk::SoupHttpGet;

class SoupHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox.Reset(); }

  std::string Get(const std::string& pathAndQuery, bool readBody = true, const HttpLimits& limits = {}) {
    return SoupHttpGet(sandbox.Base() + pathAndQuery, readBody, "kqv_client", limits);
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

TEST_F(SoupHttpTest, ReturnsTheBodyWithoutLineBreaksWhateverTheStatus) {
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

TEST_F(SoupHttpTest, SendsTheAddressAndUserAgentAsGiven) {
  SoupHttpGet(sandbox.Base() + "/test/echo?skey=S1&b=x,y&sign=ff%2B1&e=%E4%B8%AD", true, "KQVClient");
  const auto log = sandbox.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["target"], "/test/echo?skey=S1&b=x,y&sign=ff%2B1&e=%E4%B8%AD");
  EXPECT_EQ(log[0]["user_agent"], "KQVClient");
  EXPECT_EQ(log[0]["method"], "GET");
  // The body must arrive as the server sent it: no compression is asked for.
  EXPECT_FALSE(log[0]["headers"].contains("Accept-Encoding")) << log[0]["headers"].dump();
}

// A chain of `hops` redirects through the stand-in, ending at an echo.
std::string RedirectChain(int hops, const std::string& end) {
  std::string target = end;
  for (int i = 0; i < hops; ++i) {
    std::string escaped;
    for (char c : target) {
      if (c == '%' || c == '?' || c == '=' || c == '&' || c == '#' || c == '+') {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        escaped += hex;
      } else {
        escaped.push_back(c);
      }
    }
    target = "/test/redirect?to=" + escaped;
  }
  return target;
}

TEST_F(SoupHttpTest, FollowsAtMostTenRedirectsAndOnlyToHttp) {
  const std::string ftp = "ftp://127.0.0.1:" + std::to_string(sandbox.Port()) + "/x";
  const struct {
    std::string address;
    std::string body;
  } cases[] = {
      {RedirectChain(1, "/test/echo?body=one"), "one"},
      {RedirectChain(10, "/test/echo?body=ten"), "ten"},
      {RedirectChain(11, "/test/echo?body=eleven"), ""},
      {"/test/redirect?to=" + ftp, ""},
      {"/test/redirect?to=file%3A%2F%2F%2Fetc%2Fhostname", ""},
  };
  for (const auto& c : cases) {
    sandbox.Reset();
    EXPECT_EQ(Get(c.address), c.body) << c.address;
  }
  // The eleventh redirect is never asked for.
  sandbox.Reset();
  Get(RedirectChain(11, "/test/echo?body=eleven"));
  const auto log = sandbox.Log();
  EXPECT_EQ(log.size(), 11u);
  for (const auto& entry : log) EXPECT_EQ(entry["path"], "/test/redirect");
}

TEST_F(SoupHttpTest, WithoutReadingTheBodyStillSendsTheRequest) {
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

TEST_F(SoupHttpTest, UnreachableOrUnusableAddressesGiveEmptyText) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(kqvtest::RefusedPort()) + "/x";
  for (const std::string& address : {refused, std::string("not an address"), std::string("127.0.0.1/no-scheme"),
                                     "ftp://127.0.0.1:" + std::to_string(sandbox.Port()) + "/x",
                                     std::string("file:///etc/hostname"), std::string("")}) {
    EXPECT_EQ(SoupHttpGet(address, true, "kqv_client"), "") << address;
    EXPECT_EQ(SoupHttpGet(address, false, "kqv_client"), "") << address;
  }
}

TEST_F(SoupHttpTest, BodiesOverTheCapCountAsAFailedRead) {
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
TEST_F(SoupHttpTest, StalledServersAreCutOffAtTheBounds) {
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
    const double seconds = Timed([&] { return SoupHttpGet(c.address, true, "kqv_client", limits); }, answer);
    EXPECT_EQ(answer, "") << c.what;
    EXPECT_GE(seconds, c.bound * 0.9) << c.what;
    EXPECT_LT(seconds, c.bound + 1.5) << c.what;
  }
  // A connection that is never accepted is ended by the connection bound,
  // well before the whole-request bound.
  kqvtest::SilentPort listener;
  limits.totalTimeout = milliseconds(5000);
  std::string answer = "unset";
  const double seconds = Timed(
      [&] { return SoupHttpGet("http://127.0.0.1:" + std::to_string(listener.Port()) + "/x", true, "a", limits); },
      answer);
  EXPECT_EQ(answer, "");
  EXPECT_GE(seconds, 0.5);
  EXPECT_LT(seconds, 2.5);
}

}  // namespace
