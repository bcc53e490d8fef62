// The reader's text helpers: trimming, the bracket and quote scans,
// and the decoding of string bodies.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "json/JsonInternal.h"
#include "json/JsonValue.h"

using json_internal::IsSpace;

std::string_view TrimSpaces(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsSpace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && IsSpace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

// The defined scan as written, plus the nesting bound: a push that would make
// the stack hold more than kJsonMaxDepth markers is answered as a mismatch.
// The reader itself finds the same answers in one pass over the whole text
// (JsonParser.cpp); this is the helper the rules name.
std::ptrdiff_t FindMatchingBracket(std::string_view text, JsonBracketStack& stack) {
  const std::size_t entrySize = stack.size();
  if (text.size() < 2) return 1;
  if (entrySize > kJsonMaxDepth) return -1;
  bool inString = false;
  for (std::size_t pos = 1; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      if (text[pos - 1] != '\\') inString = !inString;
    } else if (inString) {
      continue;
    } else if (c == '[' || c == '{') {
      if (stack.size() >= kJsonMaxDepth) return -1;
      stack.push_back(c == '[' ? kJsonArrayMarker : kJsonObjectMarker);
    } else if (c == ']' || c == '}') {
      const int wanted = c == ']' ? kJsonArrayMarker : kJsonObjectMarker;
      if (stack.empty() || stack.back() != wanted) return -1;
      const std::size_t sizeBeforePop = stack.size();
      stack.pop_back();
      if (sizeBeforePop == entrySize) return static_cast<std::ptrdiff_t>(pos);
    }
  }
  return static_cast<std::ptrdiff_t>(text.size());
}

std::ptrdiff_t FindClosingQuote(std::string_view text) {
  for (std::size_t pos = 1; pos < text.size(); ++pos) {
    if (text[pos] == '\\')
      ++pos;  // the next character is escaped; two backslashes cancel out
    else if (text[pos] == '"')
      return static_cast<std::ptrdiff_t>(pos);
  }
  return -1;
}

std::string UnescapeJsonString(std::string_view body) {
  return json_internal::Unescape(body.data(), body.data() + body.size());
}

namespace json_internal {
namespace {

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The \u window (at most two characters) read as strtoul(window, 0, 16) reads
// it: leading white space, an optional sign, hex digits up to the first other
// character (a "0x" prefix needs a digit after it, so it cannot occur in two
// characters); 0 when no digit is read. The escape yields the low byte.
unsigned char HexWindowByte(const char* first, const char* last) {
  while (first < last && IsSpace(static_cast<unsigned char>(*first))) ++first;
  bool negative = false;
  if (first < last && (*first == '+' || *first == '-')) {
    negative = *first == '-';
    ++first;
  }
  unsigned long value = 0;
  int digit = 0;
  while (first < last && (digit = HexDigit(static_cast<unsigned char>(*first))) >= 0) {
    value = value * 16 + static_cast<unsigned long>(digit);
    ++first;
  }
  if (negative) value = 0ul - value;
  return static_cast<unsigned char>(value & 0xFFu);
}

}  // namespace

std::string Unescape(const char* first, const char* last) {
  std::string out;
  out.reserve(static_cast<std::size_t>(last - first));
  const char* p = first;
  while (p < last) {
    // Copy up to the next backslash in one go.
    const void* found = std::memchr(p, '\\', static_cast<std::size_t>(last - p));
    const char* backslash = found ? static_cast<const char*>(found) : last;
    out.append(p, backslash);
    p = backslash;
    if (p == last) break;
    const std::size_t left = static_cast<std::size_t>(last - p);
    if (left < 2) {
      out.push_back(*p++);  // a last backslash is copied
      continue;
    }
    switch (p[1]) {
      case '"':
        out.push_back('"');
        break;
      case '/':
        out.push_back('/');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'b':
        out.push_back('\x08');
        break;
      case 'f':
        out.push_back('\x0C');
        break;
      case 'n':
        out.push_back('\x0A');
        break;
      case 'r':
        out.push_back('\x0D');
        break;
      case 't':
        out.push_back('\x09');
        break;
      case 'u': {
        // The window is the 4th and 5th characters after the backslash, cut
        // short by the end of the body; the escape takes six characters or,
        // when fewer are left, the rest of the body.
        const char* window = left > 4 ? p + 4 : last;
        const char* windowEnd = left > 6 ? p + 6 : last;
        out.push_back(static_cast<char>(HexWindowByte(window, windowEnd)));
        p = left > 6 ? p + 6 : last;
        continue;
      }
      default:
        break;  // an unknown escape: both characters are dropped
    }
    p += 2;
  }
  std::size_t begin = 0;
  std::size_t end = out.size();
  while (begin < end && IsSpace(static_cast<unsigned char>(out[begin]))) ++begin;
  while (end > begin && IsSpace(static_cast<unsigned char>(out[end - 1]))) --end;
  if (begin > 0 || end < out.size()) out = out.substr(begin, end - begin);
  return out;
}

}  // namespace json_internal
