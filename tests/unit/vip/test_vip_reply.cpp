#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "vip/VipServiceInfo.h"

namespace {

struct Texts {
  std::string server, logout, gs, user;
  bool operator==(const Texts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Texts& t) {
  return out << "{" << t.server << "|" << t.logout << "|" << t.gs << "|" << t.user << "}";
}

Texts Of(const VipServiceInfo& info) {
  return {info.m_strServerName, info.m_strLogoutUrl, info.m_strGsUrl, info.m_strUserName};
}

const Texts kEarlier{"old-s", "old-l", "old-g", "old-u"};

struct Case {
  const char* what;
  std::string reply;
  int errnoAfter;
  Texts textsAfter;
};

// Each case starts from a record that holds an earlier contact, with the
// result reset as a query leaves it before reading.
void Check(const Case& c) {
  VipServiceInfo info;
  info.m_nErrno = -1;
  info.m_strServerName = kEarlier.server;
  info.m_strLogoutUrl = kEarlier.logout;
  info.m_strGsUrl = kEarlier.gs;
  info.m_strUserName = kEarlier.user;
  info.ReadVipServiceReply(c.reply);
  EXPECT_EQ(info.m_nErrno, c.errnoAfter) << c.what;
  EXPECT_EQ(Of(info), c.textsAfter) << c.what;
}

TEST(ReadVipServiceReply, StoresTheContactOnlyWhenTheCodeIsZero) {
  const Case cases[] = {
      {"success",
       R"({"errno":"0","data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"}})",
       0,
       {"s", "l", "g", "u"}},
      {"keys in any order, extra keys anywhere",
       R"({"x":[1,2],"data":{"user_name":"u","extra":{"k":1},"gsurl":"g","logout_url":"l","server_name":"s"},"errno":"0","msg":"ok"})",
       0,
       {"s", "l", "g", "u"}},
      {"non-zero code", R"({"errno":"1"})", 1, kEarlier},
      {"negative code, data not looked at", R"({"errno":"-5","data":5})", -5, kEarlier},
      {"non-zero code with a full contact",
       R"({"errno":"7","data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"}})", 7, kEarlier},
      {"empty chat address is stored",
       R"({"errno":"0","data":{"server_name":"s","logout_url":"l","gsurl":"","user_name":"u"}})",
       0,
       {"s", "l", "", "u"}},
      {"decoded and trimmed as the reader gives them",
       R"({"errno":"0","data":{"server_name":"  \u0041\"x ","logout_url":"a\/b","gsurl":"http://h/c?d=1","user_name":"\u00e9"}})",
       0,
       {"A\"x", "a/b", "http://h/c?d=1", "\xE9"}},
      {"UTF-8 and GBK bytes pass unchanged",
       "{\"errno\":\"0\",\"data\":{\"server_name\":\"\xE5\x8F\x8C\xE7\xBA\xBF\",\"logout_url\":\"l\",\"gsurl\":\"g\","
       "\"user_name\":\"\xBF\xCD\xB7\xFE\"}}",
       0,
       {"\xE5\x8F\x8C\xE7\xBA\xBF", "l", "g", "\xBF\xCD\xB7\xFE"}},
      {"a zero byte ends a stored text",
       R"({"errno":"0","data":{"server_name":"ab\u0000cd","logout_url":"\u0000","gsurl":"g","user_name":"u"}})",
       0,
       {"ab", "", "g", "u"}},
  };
  for (const auto& c : cases) Check(c);
}

TEST(ReadVipServiceReply, ConvertsTheCodeTheWayAtoiDoes) {
  const struct {
    const char* text;
    int value;
  } codes[] = {
      {"0", 0},
      {"abc", 0},
      {"", 0},
      {"12abc", 12},
      {"+7", 7},
      {"-0", 0},
      {"007", 7},
      {"- 3", 0},
      {"1\\u00002", 1},
      {"\\t\\n 9", 9},
      {"3.9", 3},
      {"0x1F", 0},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},  // saturates, never wraps
  };
  const std::string contact = R"("data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"})";
  for (const auto& c : codes) {
    const std::string reply = std::string(R"({"errno":")") + c.text + "\"," + contact + "}";
    Check({c.text, reply, c.value, c.value == 0 ? Texts{"s", "l", "g", "u"} : kEarlier});
  }
}

// A reply of the wrong shape ends the reading where the fault is met; what was
// stored before stays, nothing after it is stored, and nothing escapes.
TEST(ReadVipServiceReply, StopsSilentlyAtTheFirstFaultKeepingWhatWasStored) {
  const Case cases[] = {
      {"empty object", "{}", -1, kEarlier},
      {"not JSON", "<html>", -1, kEarlier},
      {"root is an array", R"([{"errno":"0"}])", -1, kEarlier},
      {"code is a number", R"({"errno":0,"data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"}})", -1,
       kEarlier},
      {"code is null", R"({"errno":null})", -1, kEarlier},
      {"no code", R"({"data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":"u"}})", -1, kEarlier},
      {"malformed object", R"({"errno":"0","data":{"server_name":"s"} junk})", -1, kEarlier},
      {"data missing", R"({"errno":"0"})", 0, kEarlier},
      {"data not an object", R"({"errno":"0","data":"x"})", 0, kEarlier},
      {"data an array", R"({"errno":"0","data":["s","l","g","u"]})", 0, kEarlier},
      {"third member missing",
       R"({"errno":"0","data":{"server_name":"s","logout_url":"l","user_name":"u"}})",
       0,
       {"s", "l", "old-g", "old-u"}},
      {"second member a number",
       R"({"errno":"0","data":{"server_name":"s","logout_url":5,"gsurl":"g","user_name":"u"}})",
       0,
       {"s", "old-l", "old-g", "old-u"}},
      {"last member null",
       R"({"errno":"0","data":{"server_name":"s","logout_url":"l","gsurl":"g","user_name":null}})",
       0,
       {"s", "l", "g", "old-u"}},
  };
  for (const auto& c : cases) Check(c);
}

}  // namespace
