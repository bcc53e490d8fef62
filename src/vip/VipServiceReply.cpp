#include <climits>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "json/JsonValue.h"
#include "vip/VipServiceInfo.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atoi: optional leading white space, an optional sign, then decimal digits
// up to the first other byte; no digits give 0. Out-of-range values saturate
// at the 32-bit limits instead of being undefined.
std::int32_t AtoiValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// The record's texts end at the first zero byte, as the reply's texts did.
std::string UpToZero(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

void VipServiceInfo::ReadVipServiceReply(const std::string& reply) {
  // A reply of the wrong shape makes the reader's accessors throw; the reading
  // then stops where it is, silently, and keeps what it stored before. A
  // failed allocation is treated the same way. Any other exception is a fault
  // of the program and passes.
  try {
    std::string text = reply;
    JsonBracketStack stack;
    JsonValue root = ParseJson(text, stack);
    auto members = root.AsObject();
    m_nErrno = AtoiValue(members["errno"].AsString());
    if (m_nErrno != 0) return;
    static const struct {
      const char* key;
      std::string VipServiceInfo::*field;
    } kFields[] = {
        {"server_name", &VipServiceInfo::m_strServerName},
        {"logout_url", &VipServiceInfo::m_strLogoutUrl},
        {"gsurl", &VipServiceInfo::m_strGsUrl},
        {"user_name", &VipServiceInfo::m_strUserName},
    };
    for (const auto& f : kFields) this->*f.field = UpToZero(members["data"].Member(f.key).AsString());
  } catch (const std::runtime_error&) {
  } catch (const std::bad_alloc&) {
  }
}
