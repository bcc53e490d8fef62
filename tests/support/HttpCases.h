#pragma once
// The cases both HTTP transports are tested with against the stand-in
// platform (tools/sandbox): libsoup on Linux (tests/integration), WinINet
// under Wine (tests/wine/http). Requests are named by their path and query on
// the stand-in; addresses by themselves.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace http_cases {

// A body and the text the transport answers with: every CR and LF byte
// removed, other bytes untouched, whatever the status.
struct BodyCase {
  std::string query;
  std::string text;
  // A space in the address, sent as %20 by the Linux transport; WinINet's
  // escaping is its own and not ours to test.
  bool spaceRule = false;
};

inline const BodyCase kBodies[] = {
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
    {"/test/echo?body=a b", "a b", true},  // a space is sent escaped and arrives as one
};

// Requests whose body is not read: each still reaches the server (its `n` in
// the stand-in's log), and the answer is empty. The last one's body never
// ends; its headers are all that is awaited.
struct UnreadCase {
  std::string query;
  std::string n;
  bool bodyNeverEnds = false;
};

inline const UnreadCase kUnread[] = {
    {"/test/echo?body=unread&n=1", "1"},
    {"/test/echo?status=404&body=x&n=2", "2"},
    {"/test/stall?phase=body&seconds=10&n=3", "3", true},
};
// The caller of the never-ending body has its answer within this.
inline constexpr double kUnreadSeconds = 3.0;

// The client's cap: one mebibyte.
inline constexpr std::size_t kClientCap = 1024 * 1024;

// A body at or over a cap. A body of exactly the cap is returned; one byte
// more counts as a failed read, whether its length was announced or not.
struct CapCase {
  std::string query;
  std::optional<std::size_t> cap;  // none: the client's own
  std::string text;
};

inline std::vector<CapCase> CapCases() {
  const std::string atCap = std::to_string(kClientCap), overCap = std::to_string(kClientCap + 1);
  std::vector<CapCase> cases;
  for (const std::string length : {"1", "0"}) {  // with a Content-Length, and ended by closing
    cases.push_back({"/test/big?length=" + length + "&bytes=" + atCap, std::nullopt, std::string(kClientCap, 'x')});
    cases.push_back({"/test/big?length=" + length + "&bytes=" + overCap, std::nullopt, ""});
  }
  cases.push_back({"/test/echo?body=%0D%0A12345678", 10, "12345678"});  // line breaks count
  cases.push_back({"/test/echo?body=%0D%0A123456789", 10, ""});
  return cases;
}

// Stalls that would hold the caller for 10 s or more; the bounds below end
// each of them at the whole-request bound.
inline constexpr std::chrono::milliseconds kStallConnectTimeout{600};
inline constexpr std::chrono::milliseconds kStallTotalTimeout{1200};
inline constexpr double kStallSeconds = 1.2;      // the whole-request bound
inline constexpr double kStallLateSeconds = 1.5;  // what the answer may come after it

struct StallCase {
  const char* what;
  const char* query;
};

inline constexpr StallCase kStalls[] = {
    {"no status line", "/test/stall?phase=head&seconds=10"},
    {"body stops half way", "/test/stall?phase=body&seconds=10"},
    {"body trickles on", "/test/trickle?seconds=10"},
};

// Addresses no request is made for, or whose server cannot be reached (the
// test adds a refused loopback port): empty text, whether the body is wanted
// or not. `port` is the stand-in's, for addresses of other schemes.
inline std::vector<std::string> UnusableAddresses(int port) {
  return {"not an address", "127.0.0.1/no-scheme", "ftp://127.0.0.1:" + std::to_string(port) + "/x",
          "file:///etc/hostname", ""};
}

}  // namespace http_cases
