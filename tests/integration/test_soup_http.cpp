#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "HttpCases.h"
#include "LoopbackServer.h"
#include "Sandbox.h"
#include "platform/gtk/SoupHttp.h"

namespace {

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
  for (const auto& c : http_cases::kBodies) EXPECT_EQ(Get(c.query), c.text) << c.query;
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
      {RedirectChain(1, "/test/echo?body=one"), "one"},         {RedirectChain(10, "/test/echo?body=ten"), "ten"},
      {RedirectChain(11, "/test/echo?body=eleven"), ""},        {"/test/redirect?to=" + ftp, ""},
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
  for (const auto& c : http_cases::kUnread) {
    // The answer's headers are awaited, its body is not: a body that never
    // arrives does not hold the caller.
    std::string answer = "unset";
    const double seconds = Timed([&] { return Get(c.query, false); }, answer);
    EXPECT_EQ(answer, "") << c.query;
    if (c.bodyNeverEnds) {
      EXPECT_LT(seconds, http_cases::kUnreadSeconds) << c.query;
    }
  }
  const auto log = sandbox.Log();
  ASSERT_EQ(log.size(), std::size(http_cases::kUnread));
  for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i]["params"]["n"], http_cases::kUnread[i].n);
}

TEST_F(SoupHttpTest, UnreachableOrUnusableAddressesGiveEmptyText) {
  std::vector<std::string> addresses = http_cases::UnusableAddresses(sandbox.Port());
  addresses.push_back("http://127.0.0.1:" + std::to_string(kqvtest::RefusedPort()) + "/x");
  for (const std::string& address : addresses) {
    EXPECT_EQ(SoupHttpGet(address, true, "kqv_client"), "") << address;
    EXPECT_EQ(SoupHttpGet(address, false, "kqv_client"), "") << address;
  }
}

TEST_F(SoupHttpTest, BodiesOverTheCapCountAsAFailedRead) {
  for (const auto& c : http_cases::CapCases()) {
    HttpLimits limits;
    if (c.cap) limits.maxBodyBytes = *c.cap;
    EXPECT_EQ(Get(c.query, true, limits), c.text) << c.query;
  }
}

// Each stall would hold the caller for 10 s or more; the bounds end it.
TEST_F(SoupHttpTest, StalledServersAreCutOffAtTheBounds) {
  HttpLimits limits;
  limits.connectTimeout = http_cases::kStallConnectTimeout;
  limits.totalTimeout = http_cases::kStallTotalTimeout;
  for (const auto& c : http_cases::kStalls) {
    std::string answer = "unset";
    const double seconds = Timed([&] { return Get(c.query, true, limits); }, answer);
    EXPECT_EQ(answer, "") << c.what;
    EXPECT_GE(seconds, http_cases::kStallSeconds * 0.9) << c.what;
    EXPECT_LT(seconds, http_cases::kStallSeconds + http_cases::kStallLateSeconds) << c.what;
  }
  // A connection that is never accepted is ended by the connection bound,
  // well before the whole-request bound.
  kqvtest::SilentPort listener;
  limits.totalTimeout = std::chrono::milliseconds(5000);
  std::string answer = "unset";
  const double seconds = Timed(
      [&] { return SoupHttpGet("http://127.0.0.1:" + std::to_string(listener.Port()) + "/x", true, "a", limits); },
      answer);
  EXPECT_EQ(answer, "");
  EXPECT_GE(seconds, 0.5);
  EXPECT_LT(seconds, 2.5);
}

}  // namespace
