// The WinINet transport against the stand-in platform on loopback, run under
// Wine. The ctest fixture starts the stand-in and names the file holding its
// port in KQV_SANDBOX_PORT_FILE (a Unix path; Wine shows / as drive Z:).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FaultServer.h"
#include "HttpCases.h"
#include "LoopbackServer.h"
#include "platform/win32/WinInetHttp.h"

namespace {

using std::chrono::milliseconds;
using ui::win32::WinInetHttpGet;
using ui::win32::WinInetHttpWorkers;
using wine_tests::FaultBody;
using wine_tests::FaultServer;
using wine_tests::SilentPort;

int SandboxPort() {
  static const int port = [] {
    const char* file = std::getenv("KQV_SANDBOX_PORT_FILE");
    if (!file) return 0;
    std::ifstream in(std::string("Z:") + file);
    int p = 0;
    in >> p;
    return p;
  }();
  return port;
}

std::string Base() { return "http://127.0.0.1:" + std::to_string(SandboxPort()); }

// The stand-in's test hooks, fetched past the cache and without the code
// under test: the text exactly as sent.
std::string Hook(const std::string& pathAndQuery) {
  std::string body;
  HINTERNET session = InternetOpenA("hook", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET request = InternetOpenUrlA(session, (Base() + pathAndQuery).c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  char buffer[4096];
  DWORD got = 0;
  while (request && InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
  if (request) InternetCloseHandle(request);
  InternetCloseHandle(session);
  return body;
}

class WinInetHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(SandboxPort(), 0) << "no stand-in: run through ctest, which starts one";
    Hook("/__reset");
  }

  static std::string Get(const std::string& pathAndQuery, bool readBody = true, const HttpLimits& limits = {}) {
    return WinInetHttpGet(Base() + pathAndQuery, readBody, "KQVClient", limits);
  }

  template <typename F>
  static double Timed(F&& request, std::string& answer) {
    const auto start = std::chrono::steady_clock::now();
    answer = request();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

TEST_F(WinInetHttpTest, ReturnsTheBodyWithoutLineBreaksWhateverTheStatus) {
  for (const auto& c : http_cases::kBodies) {
    if (c.spaceRule) continue;  // WinINet escapes by its own rule
    EXPECT_EQ(Get(c.query), c.text) << c.query;
  }
}

TEST_F(WinInetHttpTest, SendsTheAddressAndUserAgentAsGiven) {
  Get("/test/echo?skey=S1&b=x,y&sign=ff");
  const std::string log = Hook("/__log");
  EXPECT_NE(log.find(R"("target": "/test/echo?skey=S1&b=x,y&sign=ff")"), std::string::npos) << log;
  EXPECT_NE(log.find(R"("user_agent": "KQVClient")"), std::string::npos) << log;
}

// The request is opened in three steps so that its time-outs can be set
// before it is sent; the server sees what InternetOpenUrlA would send.
TEST_F(WinInetHttpTest, SendsWhatInternetOpenUrlWouldSend) {
  auto field = [](const std::string& entry, const std::string& name) {
    const auto at = entry.find("\"" + name + "\": ");
    if (at == std::string::npos) return std::string();
    const auto end = entry.find(name == "headers" ? "}" : "\", ", at);
    return entry.substr(at, end - at);
  };
  for (const std::string query : {"/test/echo?body=k&n=1", "/test/echo?body=k&sid=a b&u=%E4%B8%AD&p=a+b&n=2"}) {
    Hook("/__reset");
    Get(query);
    HINTERNET session = InternetOpenA("KQVClient", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = InternetOpenUrlA(session, (Base() + query).c_str(), nullptr, 0,
                                         INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD, 1);
    EXPECT_NE(request, nullptr);
    if (request) InternetCloseHandle(request);
    InternetCloseHandle(session);
    const std::string log = Hook("/__log");
    const auto split = log.find('\n');
    ASSERT_NE(split, std::string::npos) << log;
    const std::string ours = log.substr(0, split), theirs = log.substr(split + 1);
    for (const char* name : {"method", "target", "headers"}) {
      EXPECT_FALSE(field(ours, name).empty()) << name << " in " << ours;
      EXPECT_EQ(field(ours, name), field(theirs, name)) << query;
    }
  }
}

TEST_F(WinInetHttpTest, WithoutReadingTheBodyStillSendsTheRequest) {
  for (const auto& c : http_cases::kUnread) {
    // The answer's headers are awaited, its body is not.
    std::string answer = "unset";
    const double seconds = Timed([&] { return Get(c.query, false); }, answer);
    EXPECT_EQ(answer, "") << c.query;
    if (c.bodyNeverEnds) {
      EXPECT_LT(seconds, http_cases::kUnreadSeconds) << c.query;
    }
  }
  const std::string log = Hook("/__log");
  for (const auto& c : http_cases::kUnread) EXPECT_NE(log.find("&n=" + c.n + "\""), std::string::npos) << log;
}

TEST_F(WinInetHttpTest, UnreachableOrUnusableAddressesGiveEmptyText) {
  std::vector<std::string> addresses = http_cases::UnusableAddresses(SandboxPort());
  addresses.push_back("http://127.0.0.1:" + std::to_string(wine_tests::RefusedPort()) + "/x");
  for (const std::string& address : addresses) {
    EXPECT_EQ(WinInetHttpGet(address, true, "KQVClient"), "") << address;
    EXPECT_EQ(WinInetHttpGet(address, false, "KQVClient"), "") << address;
  }
}

TEST_F(WinInetHttpTest, BodiesOverTheCapCountAsAFailedRead) {
  for (const auto& c : http_cases::CapCases()) {
    HttpLimits limits;
    if (c.cap) limits.maxBodyBytes = *c.cap;
    EXPECT_EQ(Get(c.query, true, limits), c.text) << c.query;
  }
}

TEST_F(WinInetHttpTest, StalledServersAreCutOffAtTheBounds) {
  HttpLimits limits;
  limits.connectTimeout = http_cases::kStallConnectTimeout;
  limits.totalTimeout = http_cases::kStallTotalTimeout;
  const double bound = http_cases::kStallSeconds, late = http_cases::kStallLateSeconds;
  for (const auto& c : http_cases::kStalls) {
    std::string answer = "unset";
    const double seconds = Timed([&] { return Get(c.query, true, limits); }, answer);
    EXPECT_EQ(answer, "") << c.what;
    EXPECT_GE(seconds, bound * 0.9) << c.what;
    EXPECT_LT(seconds, bound + late) << c.what;
  }

  // A port that never answers a new connection. Wine ignores WinINet's
  // connection time-out; the whole-request bound still ends the wait.
  const SilentPort silent;
  std::string answer = "unset";
  const std::string address = silent.Url("/x");
  const double seconds = Timed([&] { return WinInetHttpGet(address, true, "KQVClient", limits); }, answer);
  EXPECT_EQ(answer, "");
  EXPECT_LT(seconds, bound + late);
}

// Waits until at most `count` request threads remain.
bool WorkersDropTo(int count, milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (WinInetHttpWorkers() > count) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Each faulty answer ends the request well within its bound (or at it, when
// the server stalls), and the client drops the connection before the caller
// has its answer: the server's sends fail, instead of the rest of the body
// being read into the void. A whole body shows what a good answer looks like
// from the server's side.
TEST(WinInetFaultTest, FaultyAnswersGiveEmptyTextAndTheirConnectionsAreDropped) {
  HttpLimits limits;
  limits.connectTimeout = milliseconds(2000);
  limits.totalTimeout = milliseconds(3000);
  limits.maxBodyBytes = 64 * 1024;
  const double bound = 3.0;
  const struct {
    const char* name;
    FaultBody body;
    bool readBody;
    std::string answer;
    bool stalls;  // the server holds the request until the bound
  } cases[] = {
      {"a whole body", FaultBody::Whole, true, "line oneline twoend", false},
      {"a body shorter than its length", FaultBody::Short, true, "", false},
      {"a length over the cap", FaultBody::AnnouncedOverCap, true, "", false},
      {"an endless body with a length", FaultBody::EndlessLength, true, "", false},
      {"an endless chunked body", FaultBody::EndlessChunked, true, "", false},
      {"an endless body without a length", FaultBody::EndlessUnframed, true, "", false},
      {"an endless body not read", FaultBody::EndlessLength, false, "", false},
      {"an endless chunked body not read", FaultBody::EndlessChunked, false, "", false},
      {"a body trickling past the bound", FaultBody::Trickle, true, "", true},
      {"no answer", FaultBody::NoHead, true, "", true},
      {"no answer, body not wanted", FaultBody::NoHead, false, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer server(c.body);
    const auto start = std::chrono::steady_clock::now();
    const std::string answer = WinInetHttpGet(server.Url(), c.readBody, "KQVClient", limits);
    const double seconds = Seconds(start);
    const FaultServer::Report atReturn = server.Get();
    EXPECT_EQ(answer, c.answer);
    if (c.stalls) {
      EXPECT_GE(seconds, bound * 0.9);
      EXPECT_LT(seconds, bound + 1.0);
    } else {
      EXPECT_LT(seconds, bound / 2);
    }
    const FaultServer::Report after = server.WaitEnded(milliseconds(1000));
    EXPECT_EQ(after.connections, 1);
    EXPECT_TRUE(after.ended) << "the connection is still open, " << after.accepted << " bytes taken";
    const bool serverFinished = c.body == FaultBody::Whole || c.body == FaultBody::Short;
    EXPECT_EQ(after.sentAll, serverFinished);
    EXPECT_EQ(after.droppedByClient, !serverFinished);
    // Whatever the client's side took after the answer had fitted into the
    // socket buffers already; a draining client takes megabytes a second.
    EXPECT_LT(after.accepted - atReturn.accepted, 1024u * 1024u)
        << atReturn.accepted << " bytes at the answer, " << after.accepted << " at the end";
    EXPECT_TRUE(WorkersDropTo(0, milliseconds(1000))) << WinInetHttpWorkers() << " request threads remain";
  }
}

// WinINet keeps a finished connection for the next request to the same
// server. A request on such a connection is dropped like one on a new
// connection.
TEST(WinInetFaultTest, AConnectionKeptFromAnEarlierRequestIsDroppedToo) {
  HttpLimits limits;
  limits.totalTimeout = milliseconds(3000);
  limits.maxBodyBytes = 64 * 1024;
  for (const bool readBody : {true, false}) {
    SCOPED_TRACE(readBody ? "body read" : "body not read");
    FaultServer server({FaultBody::Whole, FaultBody::EndlessLength});
    EXPECT_EQ(WinInetHttpGet(server.Url(), true, "KQVClient", limits), "line oneline twoend");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WinInetHttpGet(server.Url(), readBody, "KQVClient", limits), "");
    EXPECT_LT(Seconds(start), 1.5);
    const FaultServer::Report after = server.WaitEnded(milliseconds(1000));
    EXPECT_EQ(after.connections, 1);
    EXPECT_EQ(after.requests, 2);
    EXPECT_TRUE(after.ended);
    EXPECT_TRUE(after.droppedByClient);
    EXPECT_TRUE(WorkersDropTo(0, milliseconds(1000)));
  }
}

// A listener whose accept queue is full leaves connection attempts
// unanswered, so the request thread waits in its connect. Wine ignores the
// connection time-out and WinINet's connecting socket cannot be shut down, so
// such a thread outlives its caller until the system gives the connect up.
// They stay few: once the allowed number is waiting, further requests fail at
// once. When the connects end (here: the listener starts taking connections
// and closes them), the threads go and requests are made again.
TEST(WinInetFaultTest, RequestThreadsStuckInAConnectStayFew) {
  SilentPort silent;
  const std::string address = silent.Url("/x");
  HttpLimits limits;
  limits.connectTimeout = milliseconds(500);
  limits.totalTimeout = milliseconds(300);

  const int allowed = ui::win32::kMaxAbandonedHttpWorkers;
  for (int i = 0; i < 2 * allowed; ++i) {
    SCOPED_TRACE("request " + std::to_string(i));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WinInetHttpGet(address, true, "KQVClient", limits), "");
    const double seconds = Seconds(start);
    if (i < allowed) {
      EXPECT_GE(seconds, 0.3 * 0.9);
      EXPECT_LT(seconds, 0.3 + 0.5);
    } else {
      EXPECT_LT(seconds, 0.1) << "a request over the allowed number waited like the others";
    }
    EXPECT_EQ(WinInetHttpWorkers(), std::min(i + 1, allowed));
  }

  silent.CloseEachConnection();
  EXPECT_TRUE(WorkersDropTo(0, milliseconds(15000))) << WinInetHttpWorkers() << " request threads remain";

  FaultServer server(FaultBody::Whole);
  EXPECT_EQ(WinInetHttpGet(server.Url(), true, "KQVClient", limits), "line oneline twoend");
}

}  // namespace

int main(int argc, char** argv) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  WSACleanup();
  return result;
}
