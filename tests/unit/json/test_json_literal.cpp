// A literal transcription of the reader's rules: every step copies "the rest of the
// text" and every nested bracket is scanned by FindMatchingBracket, exactly
// as the rules describe it (quadratic, which is fine for short texts). Only the
// points the rules leave open are settled, as docs/json-reader.md records:
// an unterminated nested bracket is an error, a cut-short \u escape follows
// the window rule, and the scan fails past kJsonMaxDepth open brackets.
//
// The real reader (src/json/Json*.cpp) must give exactly the same results. The
// tests below compare the two on generated texts; the fuzz target
// bench/fuzz/fuzz_parse_json.cpp includes this file with
// KQV_JSON_LITERAL_NO_TESTS defined and compares them on what it finds.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "json/JsonValue.h"

namespace literal {

using Stack = std::vector<int>;

inline bool IsWs(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u == ' ' || (u >= 9 && u <= 13);
}

inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

inline std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsWs(s[b])) ++b;
  while (e > b && IsWs(s[e - 1])) --e;
  return s.substr(b, e - b);
}

inline bool IEq(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

// base: the containers open around the one this bracket opens.
inline long FindMatchingBracket(const std::string& text, Stack& stack, std::size_t base) {
  const std::size_t d = stack.size();
  if (text.size() < 2) return 1;
  std::size_t open = 1;  // brackets this scan holds open, the caller's included
  if (base + open > kJsonMaxDepth) return -1;
  bool inString = false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && text[i - 1] != '\\') {
      inString = !inString;
      continue;
    }
    if (inString) continue;
    if (c == '[' || c == '{') {
      if (base + open + 1 > kJsonMaxDepth) return -1;
      stack.push_back(c == '[' ? 1 : 0);
      ++open;
    } else if (c == ']' || c == '}') {
      const int want = c == ']' ? 1 : 0;
      if (stack.empty() || stack.back() != want) return -1;
      const std::size_t before = stack.size();
      stack.pop_back();
      --open;
      if (before == d) return static_cast<long>(i);
    }
  }
  return static_cast<long>(text.size());
}

inline long FindUnescapedQuote(const std::string& text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\\')
      ++i;
    else if (text[i] == '"')
      return static_cast<long>(i);
  }
  return -1;
}

inline long FindClosingQuote(const std::string& text) { return FindUnescapedQuote(text, 1); }

inline std::string Unescape(const std::string& body) {
  std::string out;
  std::size_t i = 0;
  while (i < body.size()) {
    if (body[i] != '\\' || i + 1 >= body.size()) {
      out += body[i++];
      continue;
    }
    const char k = body[i + 1];
    if (k == 'u') {
      // The 4th and 5th characters after the backslash, as far as they exist.
      std::string window;
      if (i + 4 < body.size()) window += body[i + 4];
      if (i + 5 < body.size()) window += body[i + 5];
      const unsigned long v = std::strtoul(window.c_str(), nullptr, 16);
      out += static_cast<char>(static_cast<unsigned char>(v & 0xFF));
      i = i + 6 <= body.size() ? i + 6 : body.size();
      continue;
    }
    switch (k) {
      case '"':
        out += '"';
        break;
      case '/':
        out += '/';
        break;
      case '\\':
        out += '\\';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      default:
        break;
    }
    i += 2;
  }
  return Trim(out);
}

// strtod under the defined rules, decimal notation only.
inline bool Strtod(const std::string& token, JsonValue& out) {
  for (char c : token)
    if (!IsDigitChar(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E') return false;
  if (token.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(token.c_str(), &end);
  if (errno != 0 || end != token.c_str() + token.size()) return false;
  if (v != 0.0 && std::fabs(v) < 2.2250738585072014e-308) return false;  // subnormal: underflow
  out = JsonValue(v);
  return true;
}

inline JsonValue ParseJson(std::string text, Stack& stack, std::size_t base);
inline JsonValue ParseArray(std::string& text, Stack& stack, std::size_t depth);

// depth: the containers open around this value.
inline JsonValue ParseValue(std::string& text, Stack& stack, bool& error, std::size_t depth) {
  error = false;
  text = Trim(text);
  if (text.empty()) return JsonValue();
  const char first = text[0];
  if (first == '[' || first == '{') {
    stack.push_back(first == '[' ? 1 : 0);
    const long g = FindMatchingBracket(text, stack, depth);
    if (g == -1 || g >= static_cast<long>(text.size())) {
      error = true;  // settled: an unterminated bracket is an error
      return JsonValue();
    }
    JsonValue v;
    if (first == '[') {
      std::string part = text.substr(0, static_cast<std::size_t>(g) + 1);
      v = ParseArray(part, stack, depth + 1);
    } else {
      v = ParseJson(text.substr(0, static_cast<std::size_t>(g) + 1), stack, depth);
    }
    text = text.substr(static_cast<std::size_t>(g) + 1);
    return v;
  }
  if (first == '"') {
    const long g = FindClosingQuote(text);
    if (g == -1) {
      error = true;
      return JsonValue();
    }
    JsonValue v(Unescape(text.substr(1, static_cast<std::size_t>(g) - 1)));
    text = text.substr(static_cast<std::size_t>(g) + 1);
    return v;
  }
  bool digit = false, dot = false, exponent = false;
  std::string token;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      if (!digit) return error = true, JsonValue();
      dot = true;
    } else if (c == 'e' || c == 'E') {
      if (!(IEq(token, "fals") || IEq(token, "tru"))) {
        if (!digit || exponent) return error = true, JsonValue();
        exponent = true;
      }
    } else if (c == ']' || c == '}') {
      const int want = c == ']' ? 1 : 0;
      if (stack.empty() || stack.back() != want) return error = true, JsonValue();
      stack.pop_back();
    } else if (c == ',') {
      break;
    } else if (c == '[' || c == '{') {
      return error = true, JsonValue();
    }
    if (!IsWs(c)) {
      token += c;
      if (IsDigitChar(c)) digit = true;
    }
  }
  text = text.substr(i);
  JsonValue v;
  if (IEq(token, "true")) return JsonValue(true);
  if (IEq(token, "false")) return JsonValue(false);
  if (dot || exponent) {
    if (!Strtod(token, v)) error = true;
    return v;
  }
  if (IEq(token, "null")) return JsonValue();
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(token.c_str(), &end, 10);
  if (end != token.c_str() + token.size()) return error = true, JsonValue();
  // Windows' long is 32 bits: overflow means beyond INT_MIN..INT_MAX.
  if (errno == ERANGE || n > INT_MAX || n < INT_MIN) {
    if (!Strtod(token, v)) error = true;
    return v;
  }
  return JsonValue(static_cast<std::int32_t>(n));
}

// depth: this array's own depth (the containers open inside it count from it).
inline JsonValue ParseArray(std::string& text, Stack& stack, std::size_t depth) {
  text = Trim(text);
  if (text.empty() || text.front() != '[' || text.back() != ']' || text.size() < 2) {
    text.clear();
    return JsonValue();
  }
  std::string content = text.substr(1, text.size() - 2);
  text.clear();
  JsonArray elements;
  while (!content.empty()) {
    std::string token;
    for (std::size_t i = 0; i < content.size(); ++i) {
      const char c = content[i];
      if (c == '{' || c == '[') {
        bool error = false;
        JsonValue v = ParseValue(content, stack, error, depth);
        if (error) return JsonValue();
        if (v.mValueType != JsonValue::NullVal) elements.push_back(std::move(v));
        break;
      }
      if (c == ',' || c == ']') {
        bool error = false;
        JsonValue v = ParseValue(token, stack, error, depth);
        if (error) return JsonValue();
        if (v.mValueType != JsonValue::NullVal) elements.push_back(std::move(v));
        content = content.substr(i + 1);
        break;
      }
      token += c;
      if (i + 1 == content.size()) {
        bool error = false;
        JsonValue v = ParseValue(token, stack, error, depth);
        if (error) return JsonValue();
        if (v.mValueType != JsonValue::NullVal) elements.push_back(std::move(v));
        content.clear();
        break;
      }
    }
  }
  return JsonValue(std::move(elements));
}

inline JsonValue ParseObject(std::string text, Stack& stack, std::size_t depth) {
  JsonObject members;
  text = Trim(text);
  std::string content = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
  while (!content.empty()) {
    const long i = FindUnescapedQuote(content, 0);
    if (i < 0) return JsonValue();
    const long j = FindUnescapedQuote(content, static_cast<std::size_t>(i) + 1);
    if (j < 0) return JsonValue();
    const std::size_t c = content.find(':', static_cast<std::size_t>(j));
    if (c == std::string::npos) return JsonValue();
    const std::string key = content.substr(static_cast<std::size_t>(i) + 1, static_cast<std::size_t>(j - i - 1));
    if (key.empty()) return JsonValue();
    content = content.substr(c + 1);
    JsonValue& member = members[key];
    bool error = false;
    JsonValue v = ParseValue(content, stack, error, depth);
    if (error) return JsonValue();
    member = std::move(v);
  }
  // The map is copied into the value, as the defined object constructor does:
  // every member becomes a fresh copy of its kind and payload.
  return JsonValue(JsonObject(members));
}

// base: the containers open around the one this text is.
inline JsonValue ParseJson(std::string text, Stack& stack, std::size_t base) {
  text = Trim(text);
  if (!text.empty() && text.front() == '{' && text.back() == '}') {
    stack.push_back(0);
    JsonValue v = ParseObject(text, stack, base + 1);
    if (v.mValueType != JsonValue::NullVal && !stack.empty() && stack.back() == 0) stack.pop_back();
    return v;
  }
  if (!text.empty() && text.front() == '[' && text.back() == ']') {
    stack.push_back(1);
    JsonValue v = ParseArray(text, stack, base + 1);
    if (v.mValueType != JsonValue::NullVal && !stack.empty() && stack.back() == 1) stack.pop_back();
    return v;
  }
  return JsonValue();
}

inline JsonValue ParseJson(const std::string& text) {
  Stack stack;
  return ParseJson(text, stack, 0);
}

// Every field, recursively; numbers bit for bit.
inline bool Same(const JsonValue& a, const JsonValue& b) {
  if (a.mValueType != b.mValueType || a.mInt != b.mInt || a.mBool != b.mBool || a.mString != b.mString ||
      std::memcmp(&a.mFloat, &b.mFloat, sizeof a.mFloat) != 0 ||
      std::memcmp(&a.mDouble, &b.mDouble, sizeof a.mDouble) != 0 || a.mObject.size() != b.mObject.size() ||
      a.mArray.size() != b.mArray.size())
    return false;
  for (auto i = a.mObject.begin(), j = b.mObject.begin(); i != a.mObject.end(); ++i, ++j)
    if (i->first != j->first || !Same(i->second, j->second)) return false;
  for (std::size_t i = 0; i < a.mArray.size(); ++i)
    if (!Same(a.mArray[i], b.mArray[i])) return false;
  return true;
}

// Compares the reader with this transcription on one text. Returns the name
// of the first entry point that differs, or nullptr.
inline const char* Compare(const std::string& text) {
  {
    JsonBracketStack stack;
    if (!Same(::ParseJson(text, stack), ParseJson(text)) || !stack.empty()) return "ParseJson";
  }
  {
    std::string mine = text, theirs = text;
    JsonBracketStack stack;
    Stack refStack;
    bool myError = false, refError = false;
    const JsonValue a = ::ParseValue(mine, stack, myError);
    const JsonValue b = ParseValue(theirs, refStack, refError, 0);
    if (myError != refError || !Same(a, b) || !stack.empty()) return "ParseValue";
    if (!myError && mine != theirs) return "ParseValue rest";
  }
  {
    std::string mine = text, theirs = text;
    JsonBracketStack stack;
    Stack refStack;
    if (!Same(::ParseArray(mine, stack), ParseArray(theirs, refStack, 1)) || !mine.empty()) return "ParseArray";
  }
  {
    const std::string trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '{' && trimmed.back() == '}') {
      JsonBracketStack stack;
      Stack refStack;
      if (!Same(::ParseObject(text, stack), ParseObject(text, refStack, 1))) return "ParseObject";
    }
    if (std::string(TrimSpaces(text)) != trimmed) return "TrimSpaces";
  }
  if (!text.empty() && (text[0] == '[' || text[0] == '{')) {
    JsonBracketStack stack{text[0] == '[' ? 1 : 0};
    Stack refStack{text[0] == '[' ? 1 : 0};
    if (::FindMatchingBracket(text, stack) != FindMatchingBracket(text, refStack, 0) || stack != refStack)
      return "FindMatchingBracket";
  }
  if (::FindClosingQuote(text) != FindClosingQuote(text)) return "FindClosingQuote";
  if (UnescapeJsonString(text) != Unescape(text)) return "UnescapeJsonString";
  return nullptr;
}

}  // namespace literal

#ifndef KQV_JSON_LITERAL_NO_TESTS

#include <gtest/gtest.h>

#include <random>

namespace {

// Texts made of the characters the rules turn on, at random.
std::string RandomText(std::mt19937& rng, std::size_t maxLength) {
  static const std::string alphabet =
      "{}[]{}[]\"\"\"\"::,,,,\\\\  \t\n0123456789.eE+-truefalsnulTRUEFALSNUxX/bfnrtu\x01\xb0\xd6";
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text;
  const std::size_t n = length(rng);
  for (std::size_t i = 0; i < n; ++i) text += alphabet[pick(rng)];
  return text;
}

// A JSON-like value, sometimes slightly broken.
void RandomJson(std::mt19937& rng, int depth, std::string& out) {
  static const char* const scalars[] = {
      "1",          "-7",          "+7",          "007",   "1.5",    "5.",         "1e5",   "1E-3",
      "true",       "TRUE",        "False",       "null",  "NULL",   "t rue",      "1 2",   "2147483647",
      "2147483648", "-2147483648", "-2147483649", "1e400", "1e-400", ".5",         "1.2.3", "0x10",
      "",           "nul",         "x",           "-",     "1e",     "99999999999"};
  static const char* const strings[] = {
      "\"a\"",   "\"\"",  "\" x \"", "\"a,b\"", "\"a\\\"b\"", "\"a\\\\\"", "\"\\u00e9\"", "\"\\u4e2d\"",  "\"\\q\"",
      "\"\\t\"", "\"[\"", "\"{\"",   "\"]\"",   "\"}\"",      "\"\\u12\"", "\"\\u1\"",    "\"a\\\\\\\"\""};
  std::uniform_int_distribution<int> kind(0, depth > 4 ? 1 : 5);
  std::uniform_int_distribution<int> small(0, 3);
  std::uniform_int_distribution<int> noise(0, 40);
  auto space = [&] {
    if (noise(rng) < 6) out += " \t\n"[small(rng) % 3];
  };
  auto junk = [&] {
    const int n = noise(rng);
    if (n == 0) out += ",";
    if (n == 1) out += "]";
    if (n == 2) out += "}";
    if (n == 3) out += "\"";
    if (n == 4) out += "\\";
    if (n == 5) out += "x";
  };
  space();
  switch (kind(rng)) {
    case 0:
      out += scalars[std::uniform_int_distribution<std::size_t>(0, std::size(scalars) - 1)(rng)];
      break;
    case 1:
      out += strings[std::uniform_int_distribution<std::size_t>(0, std::size(strings) - 1)(rng)];
      break;
    case 2:
    case 3: {
      out += '[';
      const int n = small(rng);
      for (int i = 0; i < n; ++i) {
        if (i) out += ',';
        junk();
        RandomJson(rng, depth + 1, out);
      }
      space();
      out += ']';
      break;
    }
    default: {
      out += '{';
      const int n = small(rng);
      for (int i = 0; i < n; ++i) {
        if (i) out += ',';
        junk();
        space();
        out +=
            noise(rng) < 2 ? "\"\"" : (noise(rng) < 3 ? "\"k\\\"\"" : std::string("\"") + "abcab"[small(rng)] + "\"");
        space();
        out += ':';
        RandomJson(rng, depth + 1, out);
      }
      space();
      out += '}';
    }
  }
  space();
  junk();
}

TEST(JsonLiteral, RandomTextsReadAsTheLiteralRulesRead) {
  std::mt19937 rng(20261210);
  for (int i = 0; i < 200000; ++i) {
    const std::string text = RandomText(rng, i % 4 == 0 ? 48 : 16);
    const char* differs = literal::Compare(text);
    ASSERT_EQ(differs, nullptr) << differs << " on [" << text << "]";
  }
}

TEST(JsonLiteral, RandomDocumentsReadAsTheLiteralRulesRead) {
  std::mt19937 rng(7);
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    RandomJson(rng, 0, text);
    if (i % 3 == 0) text = "{\"k\":" + text + "}";
    const char* differs = literal::Compare(text);
    ASSERT_EQ(differs, nullptr) << differs << " on [" << text << "]";
  }
}

TEST(JsonLiteral, NestingAroundTheBoundReadsAsTheLiteralRulesRead) {
  for (std::size_t depth : {kJsonMaxDepth - 1, kJsonMaxDepth, kJsonMaxDepth + 1, kJsonMaxDepth + 2}) {
    for (const char* inner : {"", "1", "{\"a\":[]}", "\"x\\\\\""}) {
      const std::string arrays = std::string(depth, '[') + inner + std::string(depth, ']');
      std::string objects;
      for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
      objects += inner[0] ? inner : "1";
      objects += std::string(depth, '}');
      for (const std::string& text : {arrays, objects, "[1," + arrays + ",2]", "{\"x\":" + objects + ",\"y\":2}"}) {
        const char* differs = literal::Compare(text);
        ASSERT_EQ(differs, nullptr) << differs << " at depth " << depth << " on " << text.substr(0, 80);
      }
    }
  }
}

}  // namespace

#endif  // KQV_JSON_LITERAL_NO_TESTS
