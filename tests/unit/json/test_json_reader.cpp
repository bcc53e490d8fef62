// The JSON reader, case by case: every edge case the rules list,
// plus the cases where its rules bite, as tables. Results are written in a
// compact notation (see Show): null, true, 7 (IntVal), d(1.5) (DoubleVal),
// "text" (StringVal; \xHH for bytes outside printable ASCII, \" and \\),
// [a,b] and {"key":value}.

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include "json/JsonValue.h"

// The literal transcription of the rules, without its tests: every table text
// must also read the same under it.
#define KQV_JSON_LITERAL_NO_TESTS
#include "test_json_literal.cpp"

namespace {

std::string Quote(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

std::string Show(const JsonValue& v) {
  char buffer[64];
  switch (v.mValueType) {
    case JsonValue::NullVal:
      return "null";
    case JsonValue::StringVal:
      return Quote(v.mString);
    case JsonValue::IntVal:
      return std::to_string(v.mInt);
    case JsonValue::DoubleVal:
      std::snprintf(buffer, sizeof buffer, "d(%.17g)", v.mDouble);
      return buffer;
    case JsonValue::BoolVal:
      return v.mBool ? "true" : "false";
    case JsonValue::ObjectVal: {
      std::string out = "{";
      for (const auto& [key, member] : v.mObject) out += (out.size() > 1 ? "," : "") + Quote(key) + ":" + Show(member);
      return out + "}";
    }
    case JsonValue::ArrayVal: {
      std::string out = "[";
      for (const JsonValue& element : v.mArray) out += (out.size() > 1 ? "," : "") + Show(element);
      return out + "]";
    }
    default:
      return "kind " + std::to_string(v.mValueType);
  }
}

std::string ReadDocument(std::string_view text) {
  JsonBracketStack stack;
  const JsonValue v = ParseJson(text, stack);
  EXPECT_TRUE(stack.empty());
  return Show(v);
}

struct DocumentCase {
  std::string_view text;
  const char* expected;
};

// Whole texts through ParseJson.
const DocumentCase kDocuments[] = {
    // The top level accepts only an object or an array.
    {R"({})", R"({})"},
    {R"([])", R"([])"},
    {"", "null"},
    {" \t\r\n\v\f ", "null"},
    {"null", "null"},
    {"1", "null"},
    {R"("x")", "null"},
    {" \n {\"a\":1} \t", R"({"a":1})"},
    {"\v{}\f", R"({})"},
    {"\xA0{}", "null"},  // bytes from 0x80 on are never white space
    {R"({"a":1} x)", "null"},
    {R"({} {})", "null"},
    // Members.
    {R"({"a":1,"a":2})", R"({"a":2})"},
    {R"({"a":null})", R"({"a":null})"},
    {R"({"a":})", R"({"a":null})"},
    {R"({"a":,"b":1})", R"({"a":0,"b":1})"},
    {R"({"a":"x" "b":2})", R"({"a":"x","b":2})"},
    {R"({"a":"x" junk "b":2})", R"({"a":"x","b":2})"},
    {R"({"a":1 "b":2})", "null"},  // the scalar 1 runs on to the end
    {R"({"":1})", "null"},
    {R"({"a" 1})", "null"},
    {R"({"a"})", "null"},
    {R"({"a":1,"b"})", "null"},
    {R"({"a\"b":1})", R"({"a\\\"b":1})"},  // keys are taken as they stand
    {R"({"\u0041":1})", R"({"\\u0041":1})"},
    {R"({" k ":1})", R"({" k ":1})"},
    {R"({"a":"  x  ","b":"\t"})", R"({"a":"x","b":""})"},
    {R"({"a":"x\"y"})", R"({"a":"x\"y"})"},
    {R"({"a":"x}","b":"{"})", R"({"a":"x}","b":"{"})"},
    {R"({"a":"x)", "null"},
    {R"({"b":1,"a":2,"ab":3,"A":4})", R"({"A":4,"a":2,"ab":3,"b":1})"},
    {"{\"\xB0\":1,\"z\":2}", R"({"z":2,"\xB0":1})"},                  // byte-wise order, unsigned
    {"{\"n\":\"\xCB\xAB\xCF\xDF\"}", R"({"n":"\xCB\xAB\xCF\xDF"})"},  // GBK passes through
    // Where the defined rules bite in objects.
    {R"({ })", "null"},         // content of white space only has no key
    {R"({"a":"x",})", "null"},  // nor has a trailing comma
    {R"({"a":1,})", "null"},
    {R"({"a":1}})", "null"},    // '}' in the scalar 1}
    {R"({"a":"x"}})", "null"},  // "}" left over, no key in it
    {R"({"a":{}} "b":1})", R"({"a":{},"b":1})"},
    {R"({"a":"b"}{"c":"d"})", R"({"a":"b","c":"d"})"},
    {R"({"a":{"b":1}"c":2})", R"({"a":{"b":1},"c":2})"},
    {R"({"a":[1]"c":2})", R"({"a":[1],"c":2})"},
    {R"({"a":tru e,"b":N ull})", R"({"a":true,"b":null})"},
    {R"({"a":[2,x],"b":1})", R"({"a":null,"b":1})"},  // a nested failure without mismatch
    {R"({"a":{"":1},"b":1})", R"({"a":null,"b":1})"},
    {R"({"a":[1,2}})", "null"},  // bracket mismatch
    {R"({"a":[1,{]})", "null"},
    {R"({"a":[1,2})", "null"},  // unterminated nested bracket: error
    {R"({"a":[})", "null"},
    {R"({"a":{})", "null"},
    {R"({"a":["x\\"],"b":1})", "null"},                  // the escaped backslash hides the ']' from the scan
    {R"({"a":["x\"]"],"b":1})", R"({"a":null,"b":1})"},  // the scan skips "x\"]" but the element ends at ']'
    {R"({"a":{"k":"x\"}"},"b":1})", R"({"a":{"k":"x\"}"},"b":1})"},
    // Arrays.
    {R"([1,null,2])", R"([1,2])"},
    {R"([1,,2])", R"([1,2])"},
    {R"([,])", R"([])"},
    {R"([null])", R"([])"},
    {R"([ ])", R"([])"},
    {R"([1,])", R"([1])"},
    {R"([ 1 , 2 ])", R"([1,2])"},
    {R"(["a,b"])", "null"},      // commas split elements without regard to quotes
    {R"(["a]"])", "null"},       // and so does ']'
    {R"(["a}"])", R"(["a}"])"},  // but not '}'
    {R"(["a{b",1])", R"(["a{b",1])"},
    {R"(["a[b" 1])", R"(["a[b",1])"},  // after a value read from the whole content, 1 is a new element...
    {R"(["a" x,1])", R"(["a",1])"},    // ...while a token's own rest is dropped
    {R"([[1] 2, 3])", R"([[1],2,3])"},
    {R"([[1],[2]])", R"([[1],[2]])"},
    {R"([1,[2,x],3])", R"([1,3])"},  // a nested failure without mismatch is dropped
    {R"([1,[2,3])", "null"},
    {R"([1]])", R"([1])"},  // the top level is not bracket-matched
    {R"([1] 2])", R"([1,2])"},
    {R"([1]x])", "null"},
    {R"([1"2])", "null"},
    {R"(["x\\"])", R"(["x\\"])"},  // top level: the string is read by the full escape rule
    {R"([{"a":1},{"b":2}])", R"([{"a":1},{"b":2}])"},
    {R"([{"a":[null]}])", R"([{"a":[]}])"},
    // Scalars in place.
    {R"([TRUE,False,NULL,t rue,1 2,- 5,1 . 5])", R"([true,false,true,12,-5,d(1.5)])"},
    {R"([1e5,1E5,5.,+7,007,1.0,-0,-0.0])", R"([d(100000),d(100000),d(5),7,7,d(1),0,d(-0)])"},
    {R"([2147483647,2147483648,-2147483648,-2147483649])", R"([2147483647,d(2147483648),-2147483648,d(-2147483649)])"},
    {R"([.5])", "null"},
    {R"([1e400])", "null"},
    {R"({"a":1e400})", "null"},
    // The service reply.
    {R"({"errno":"0","data":{"server_name":"S12 ","logout_url":"http://a/l?x=1&y=2","gsurl":"http://a/g","user_name":"u"}})",
     R"({"data":{"gsurl":"http://a/g","logout_url":"http://a/l?x=1&y=2","server_name":"S12","user_name":"u"},"errno":"0"})"},
    {R"({"errno":"-5","data":5})", R"({"data":5,"errno":"-5"})"},
};

TEST(JsonReader, ReadsEachDocumentToItsValue) {
  for (const DocumentCase& c : kDocuments) {
    EXPECT_EQ(ReadDocument(c.text), c.expected) << "text: " << c.text;
    EXPECT_EQ(literal::Compare(std::string(c.text)), nullptr) << "text: " << c.text;
  }
}

struct ValueCase {
  std::string_view text;
  const char* expected;  // "error" when the error flag is set
  std::string_view rest;
};

// One value from the front of a text through ParseValue: the value (or the
// error) and the rest of the text.
const ValueCase kValues[] = {
    {"", "null", ""},
    {" \t ", "null", ""},
    {"1,2", "1", ",2"},
    {" 1 , 2 ", "1", ", 2"},
    {",", "0", ","},  // an empty token is IntVal 0
    {",x", "0", ",x"},
    {R"("a" x)", R"("a")", " x"},
    {R"("a\"b",1)", R"("a\"b")", ",1"},
    {R"("a)", "error", ""},
    {R"("a\")", "error", ""},
    {"[1] x", "[1]", " x"},
    {R"({"a":1},x)", R"({"a":1})", ",x"},
    {"[1,x]", "null", ""},  // the array fails without a mismatch: null, no error
    {R"({"":1} 2)", "null", " 2"},
    {"[1", "error", ""},  // unterminated
    {"[", "error", ""},
    {"{", "error", ""},
    {"[1}", "error", ""},  // mismatch
    {R"(["x\\"])", "error", ""},
    {R"(["a\"]"] ,)", "null", " ,"},  // matched, then the element "a\" is cut at ']'
    {R"({"k":"x\"}"} ,)", R"({"k":"x\"}"})", " ,"},
    // Scalars.
    {"true", "true", ""},
    {"true,1", "true", ",1"},
    {"TRUE", "true", ""},
    {"False", "false", ""},
    {"fals e", "false", ""},
    {"tRuE", "true", ""},
    {"t rue", "true", ""},
    {"NULL", "null", ""},
    {"nul", "error", ""},
    {"truee", "error", ""},
    {"1 2", "12", ""},
    {"- 5", "-5", ""},
    {"+7", "7", ""},
    {"007", "7", ""},
    {"-0", "0", ""},
    {"2147483647", "2147483647", ""},
    {"2147483648", "d(2147483648)", ""},
    {"-2147483648", "-2147483648", ""},
    {"-2147483649", "d(-2147483649)", ""},
    {"99999999999999999999", "d(1e+20)", ""},
    {"1e5", "d(100000)", ""},
    {"1E5", "d(100000)", ""},
    {"1e+5", "d(100000)", ""},
    {"1.5e-3", "d(0.0015)", ""},
    {"5.", "d(5)", ""},
    {"1.0", "d(1)", ""},
    {"1 . 5", "d(1.5)", ""},
    {"-0.0", "d(-0)", ""},
    {"0e999999", "d(0)", ""},
    {"2.2250738585072014e-308", "d(2.2250738585072014e-308)", ""},
    {"1.7976931348623157e308", "d(1.7976931348623157e+308)", ""},
    {".5", "error", ""},
    {"-.5", "error", ""},
    {"1.2.3", "error", ""},
    {"1e2e3", "error", ""},
    {"e5", "error", ""},
    {"1e", "error", ""},
    {"1e+", "error", ""},
    {"0x10", "error", ""},
    {"0x1.8", "error", ""},
    {"0x1e5", "error", ""},
    {"inf", "error", ""},
    {"nan", "error", ""},
    {"Infinity", "error", ""},
    {"12abc", "error", ""},
    {"-", "error", ""},
    {"+", "error", ""},
    {"1e400", "error", ""},     // overflow
    {"1e-400", "error", ""},    // underflow
    {"4.9e-324", "error", ""},  // subnormal: underflow
    {"1.8e308", "error", ""},
    {"1]", "error", ""},
    {"1}", "error", ""},
    {"1[", "error", ""},
    {"1{", "error", ""},
    {"x", "error", ""},
    {"1\"", "error", ""},
};

TEST(JsonReader, ReadsOneValueFromTheFrontOfTheText) {
  for (const ValueCase& c : kValues) {
    std::string text(c.text);
    JsonBracketStack stack;
    bool error = false;
    const JsonValue v = ParseValue(text, stack, error);
    EXPECT_EQ(error ? "error" : Show(v), c.expected) << "text: " << c.text;
    if (error) {
      EXPECT_EQ(v.mValueType, JsonValue::NullVal) << "text: " << c.text;
    } else {
      EXPECT_EQ(text, c.rest) << "text: " << c.text;
    }
    EXPECT_TRUE(stack.empty());
    EXPECT_EQ(literal::Compare(std::string(c.text)), nullptr) << "text: " << c.text;
  }
}

TEST(JsonReader, ParseValueClearsTheErrorFlagAndKeepsTheTrimmedTextOnError) {
  std::string text = " [1} ";
  JsonBracketStack stack;
  bool error = true;
  ParseValue(text, stack, error);
  EXPECT_TRUE(error);
  EXPECT_EQ(text, "[1}");
  text = "7";
  ParseValue(text, stack, error);
  EXPECT_FALSE(error);
}

TEST(JsonReader, NumbersFillAllThreeNumericFields) {
  std::string text = "[-7,2.75,-2.75,3e9,1e300]";
  JsonBracketStack stack;
  const JsonValue v = ParseArray(text, stack);
  ASSERT_EQ(v.mArray.size(), 5u);
  EXPECT_EQ(v.mArray[0].mInt, -7);
  EXPECT_EQ(v.mArray[0].mFloat, -7.0f);
  EXPECT_EQ(v.mArray[0].mDouble, -7.0);
  EXPECT_EQ(v.mArray[1].mInt, 2);
  EXPECT_EQ(v.mArray[1].mFloat, 2.75f);
  EXPECT_EQ(v.mArray[2].mInt, -2);       // toward zero
  EXPECT_EQ(v.mArray[3].mInt, INT_MIN);  // beyond the 32-bit range
  EXPECT_EQ(v.mArray[3].mDouble, 3e9);
  EXPECT_TRUE(v.mArray[4].mFloat > 3.4e38f);  // narrowed to infinity
}

struct UnescapeCase {
  std::string_view body;
  std::string_view bytes;
};

const UnescapeCase kUnescapes[] = {
    {R"(a\u00e9b)",
     "a\xE9"
     "b"},
    {R"(\u4e2d)", "\x2D"},  // the last two of the four
    {R"(\q)", ""},
    {"  x  ", "x"},
    {R"(\t)", ""},
    {R"(\"\/\\)", "\"/\\"},
    {R"(a\b\f\n\r\tz)", "a\b\f\n\r\tz"},
    {R"(\b)", "\b"},  // 0x08 is not white space
    {R"(\u0000)", std::string_view("\0", 1)},
    {R"(x\u0000)", std::string_view("x\0", 2)},
    {R"(\u0020x\u0009)", "x"},  // white space from escapes is trimmed too
    {R"(\uzz41)", "A"},
    {R"(\u12345)", "45"},
    {R"(\u00g1)", std::string_view("\0", 1)},  // no hex digit read: 0
    {R"(\u004g)", "\x04"},
    {R"(\u00 5)", "\x05"},  // as strtoul reads " 5"
    {R"(\u00+f)", "\x0F"},
    {R"(\u00-1)", "\xFF"},  // strtoul's -1, low byte
    {R"(\ud83d\ude00)", std::string_view("=\0", 2)},
    {R"(\x41)", "41"},
    // Cut short by the end of the body: the window is what is left of the
    // 4th and 5th characters; the escape consumes the rest.
    {R"(\u123)", "\x03"},
    {R"(a\u12)", std::string_view("a\0", 2)},
    {R"(a\u1)", std::string_view("a\0", 2)},
    {R"(a\u)", std::string_view("a\0", 2)},
    {R"(x\)", "x\\"},  // a last backslash is copied
    {R"(\)", "\\"},
    {R"(\\)", "\\"},
    {"\xCB\xAB", "\xCB\xAB"},
    {"", ""},
};

TEST(JsonReader, DecodesStringBodies) {
  for (const UnescapeCase& c : kUnescapes) {
    EXPECT_EQ(Quote(UnescapeJsonString(c.body)), Quote(std::string(c.bytes))) << "body: " << c.body;
    EXPECT_EQ(Quote(literal::Unescape(std::string(c.body))), Quote(std::string(c.bytes))) << "body: " << c.body;
  }
}

TEST(JsonReader, HelpersTrimAndFindQuotesAndBrackets) {
  EXPECT_EQ(TrimSpaces(" \t\n\v\f\rx y\r\n"), "x y");
  EXPECT_EQ(TrimSpaces("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(TrimSpaces(""), "");
  EXPECT_EQ(TrimSpaces("   "), "");

  EXPECT_EQ(FindClosingQuote(R"("abc")"), 4);
  EXPECT_EQ(FindClosingQuote(R"("a\"b")"), 5);
  EXPECT_EQ(FindClosingQuote(R"("a\\")"), 4);
  EXPECT_EQ(FindClosingQuote(R"("a\\\")"), -1);
  EXPECT_EQ(FindClosingQuote(R"("abc)"), -1);
  EXPECT_EQ(FindClosingQuote(R"(")"), -1);
  EXPECT_EQ(FindClosingQuote(R"("")"), 1);

  struct {
    std::string text;
    std::ptrdiff_t expected;
    std::size_t stackAfter;  // the caller's marker counts one
  } brackets[] = {
      {"[]", 1, 0},
      {"[1,[2],3] x", 8, 0},
      {R"({"a":"]"})", 8, 0},
      {R"(["a\"]"])", 7, 0},  // the quote rule looks one character back
      {"[1}", -1, 1},
      {"[{]", -1, 2},
      {"[", 1, 1},           // shorter than two: 1
      {"[1,2", 4, 1},        // the end first: the length
      {R"(["x\\"])", 7, 1},  // the escaped backslash keeps the string open
      {std::string(256, '[') + std::string(256, ']'), 511, 0},
      {std::string(257, '[') + std::string(257, ']'), -1, 256},  // deeper than the bound
  };
  for (const auto& c : brackets) {
    JsonBracketStack stack{c.text[0] == '[' ? kJsonArrayMarker : kJsonObjectMarker};
    EXPECT_EQ(FindMatchingBracket(c.text, stack), c.expected) << c.text.substr(0, 20);
    EXPECT_EQ(stack.size(), c.stackAfter) << c.text.substr(0, 20);
  }
}

TEST(JsonReader, ParseArrayAndParseObjectReadWholeTexts) {
  JsonBracketStack stack;
  std::string text = " [1,\"a\"] ";
  EXPECT_EQ(Show(ParseArray(text, stack)), R"([1,"a"])");
  EXPECT_TRUE(text.empty());  // used up
  text = "{\"a\":1}";
  EXPECT_EQ(Show(ParseArray(text, stack)), "null");
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(Show(ParseObject(" {\"a\":[1]} ", stack)), R"({"a":[1]})");
  EXPECT_EQ(Show(ParseObject("{}", stack)), "{}");
  EXPECT_TRUE(stack.empty());
}

// Nesting is bounded at kJsonMaxDepth open containers; deeper text is a
// bracket mismatch, which makes the whole document null.
TEST(JsonReader, BoundsTheNestingDepth) {
  auto arrays = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  auto objects = [](std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "{\"a\":";
    return text + "1" + std::string(depth, '}');
  };
  JsonBracketStack stack;
  JsonValue v = ParseJson(arrays(kJsonMaxDepth), stack);
  std::size_t depth = 0;
  for (const JsonValue* p = &v; p->mValueType == JsonValue::ArrayVal; p = p->mArray.empty() ? nullptr : &p->mArray[0]) {
    ++depth;
    if (p->mArray.empty()) break;
  }
  EXPECT_EQ(depth, kJsonMaxDepth);
  EXPECT_EQ(ParseJson(arrays(kJsonMaxDepth + 1), stack).mValueType, JsonValue::NullVal);
  EXPECT_EQ(ParseJson(objects(kJsonMaxDepth), stack).mValueType, JsonValue::ObjectVal);
  EXPECT_EQ(ParseJson(objects(kJsonMaxDepth + 1), stack).mValueType, JsonValue::NullVal);
  EXPECT_EQ(ParseJson("[1," + arrays(kJsonMaxDepth) + "]", stack).mValueType, JsonValue::NullVal);
  EXPECT_EQ(Show(ParseJson("[1," + arrays(kJsonMaxDepth - 1) + "]", stack)).substr(0, 6), "[1,[[[");

  std::string text = arrays(kJsonMaxDepth + 1);
  bool error = false;
  ParseValue(text, stack, error);
  EXPECT_TRUE(error);
  text = arrays(kJsonMaxDepth);
  ParseValue(text, stack, error);
  EXPECT_FALSE(error);

  // A million brackets: no stack overflow, and no time to speak of.
  const std::size_t million = 1000000;
  EXPECT_EQ(ParseJson(std::string(million, '['), stack).mValueType, JsonValue::NullVal);
  EXPECT_EQ(ParseJson(arrays(million), stack).mValueType, JsonValue::NullVal);
  EXPECT_EQ(ParseJson("{\"a\":" + std::string(million, '{') + "}", stack).mValueType, JsonValue::NullVal);
  std::string deepObjects;
  for (std::size_t i = 0; i < million / 8; ++i) deepObjects += "{\"a\":[";
  EXPECT_EQ(ParseJson(deepObjects + "1" + std::string(million / 8, ']'), stack).mValueType, JsonValue::NullVal);
  EXPECT_TRUE(stack.empty());
}

// Texts that a reader copying "the rest of the text" at every step would take
// hours over: each is read in one pass.
TEST(JsonReader, ReadsLargeTextsInOnePass) {
  JsonBracketStack stack;
  const std::size_t n = 1 << 20;
  std::string many = "[";
  for (std::size_t i = 0; i < n; ++i) many += "1,";
  many += "2]";
  EXPECT_EQ(ParseJson(many, stack).mArray.size(), n + 1);

  std::string members = "{";
  for (std::size_t i = 0; i < n / 8; ++i) members += "\"k" + std::to_string(i) + "\":\"v\" ";
  members += std::string(n, ' ') + "}";  // trailing white space, measured once
  EXPECT_EQ(ParseJson(members, stack).mObject.size(), n / 8);

  std::string nested = "[";
  for (std::size_t i = 0; i < n / 16; ++i) nested += "{\"a\":[[1],{\"b\":\"c\"}]} ";
  nested += "]";
  EXPECT_EQ(ParseJson(nested, stack).mArray.size(), n / 16);

  const std::string longString = "[\"" + std::string(4 * n, 'x') + "\"]";
  EXPECT_EQ(ParseJson(longString, stack).mArray.at(0).mString.size(), 4 * n);

  std::string longScalar = "{\"a\":";
  for (std::size_t i = 0; i < n; ++i) longScalar += "1 ";
  EXPECT_EQ(ParseJson(longScalar + "}", stack).mValueType, JsonValue::NullVal);  // overflow
  EXPECT_EQ(ParseJson("[" + std::string(n, ',') + "]", stack).mArray.size(), 0u);
  EXPECT_EQ(Show(ParseJson("[" + std::string(n, '"') + "]", stack)), R"([""])");
  EXPECT_EQ(ParseJson("{" + std::string(n, '"') + "}", stack).mValueType, JsonValue::NullVal);
}

}  // namespace
