// JsonValue (data model): fresh values, the constructors, the copy
// rules and the accessors with their two exact messages.

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <utility>

#include "json/JsonValue.h"

namespace {

void ExpectFreshApartFrom(const JsonValue& v, std::uint32_t kind) {
  const bool numeric = kind == JsonValue::IntVal || kind == JsonValue::FloatVal || kind == JsonValue::DoubleVal;
  EXPECT_EQ(v.mValueType, kind);
  if (!numeric) {
    EXPECT_EQ(v.mInt, 0);
    EXPECT_EQ(v.mFloat, 0.0f);
    EXPECT_EQ(v.mDouble, 0.0);
  }
  if (kind != JsonValue::StringVal) {
    EXPECT_TRUE(v.mString.empty());
  }
  if (kind != JsonValue::ObjectVal) {
    EXPECT_TRUE(v.mObject.empty());
  }
  if (kind != JsonValue::ArrayVal) {
    EXPECT_TRUE(v.mArray.empty());
  }
  if (kind != JsonValue::BoolVal) {
    EXPECT_FALSE(v.mBool);
  }
}

template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "nothing raised";
}

TEST(JsonValue, KindsHaveTheirFixedNumbers) {
  EXPECT_EQ(JsonValue::NullVal, 0u);
  EXPECT_EQ(JsonValue::StringVal, 1u);
  EXPECT_EQ(JsonValue::IntVal, 2u);
  EXPECT_EQ(JsonValue::FloatVal, 3u);
  EXPECT_EQ(JsonValue::DoubleVal, 4u);
  EXPECT_EQ(JsonValue::ObjectVal, 5u);
  EXPECT_EQ(JsonValue::ArrayVal, 6u);
  EXPECT_EQ(JsonValue::BoolVal, 7u);
  static_assert(sizeof(JsonValue{}.mValueType) == 4 && sizeof(JsonValue{}.mInt) == 4);
  static_assert(sizeof(JsonValue{}.mFloat) == 4 && sizeof(JsonValue{}.mDouble) == 8);
}

TEST(JsonValue, ConstructorsFillTheirKindOnly) {
  ExpectFreshApartFrom(JsonValue(), JsonValue::NullVal);
  const JsonValue s("text");
  ExpectFreshApartFrom(s, JsonValue::StringVal);
  EXPECT_EQ(s.mString, "text");
  ExpectFreshApartFrom(JsonValue(true), JsonValue::BoolVal);
  EXPECT_TRUE(JsonValue(true).mBool);
  const JsonValue i(std::int32_t{-7});
  ExpectFreshApartFrom(i, JsonValue::IntVal);
  EXPECT_EQ(i.mInt, -7);
  EXPECT_EQ(i.mFloat, -7.0f);
  EXPECT_EQ(i.mDouble, -7.0);
  const JsonValue big(std::int32_t{INT_MAX});
  EXPECT_EQ(big.mFloat, 2147483648.0f);  // the nearest float
  const JsonValue d(-2.75);
  ExpectFreshApartFrom(d, JsonValue::DoubleVal);
  EXPECT_EQ(d.mDouble, -2.75);
  EXPECT_EQ(d.mInt, -2);  // toward zero
  EXPECT_EQ(d.mFloat, -2.75f);
  EXPECT_EQ(JsonValue(0.1).mFloat, 0.1f);
  EXPECT_EQ(JsonValue(3e9).mInt, INT_MIN);  // outside the 32-bit range
  EXPECT_EQ(JsonValue(-2147483648.9).mInt, INT_MIN);
  EXPECT_EQ(JsonValue(2147483647.9).mInt, INT_MAX);
  JsonObject members;
  members["a"] = JsonValue(std::int32_t{1});
  const JsonValue o(members);
  ExpectFreshApartFrom(o, JsonValue::ObjectVal);
  EXPECT_EQ(o.mObject.size(), 1u);
  const JsonValue a(JsonArray{JsonValue(true), JsonValue("x")});
  ExpectFreshApartFrom(a, JsonValue::ArrayVal);
  EXPECT_EQ(a.mArray.size(), 2u);
}

TEST(JsonValue, ACopyTakesTheKindAndItsPayloadOnly) {
  JsonValue s("x");
  s.mInt = 5;
  s.mBool = true;
  s.mArray.emplace_back(true);
  const JsonValue copy = s;
  ExpectFreshApartFrom(copy, JsonValue::StringVal);
  EXPECT_EQ(copy.mString, "x");
  JsonValue moved = std::move(s);
  ExpectFreshApartFrom(moved, JsonValue::StringVal);
  EXPECT_EQ(moved.mString, "x");

  JsonValue f;
  f.mValueType = JsonValue::FloatVal;  // never read, but copied like the other numbers
  f.mFloat = 1.5f;
  f.mInt = 1;
  f.mDouble = 1.5;
  f.mString = "stale";
  const JsonValue fc = f;
  ExpectFreshApartFrom(fc, JsonValue::FloatVal);
  EXPECT_EQ(fc.mFloat, 1.5f);
  EXPECT_EQ(fc.mInt, 1);
  EXPECT_EQ(fc.mDouble, 1.5);

  JsonValue n;
  n.mString = "stale";
  ExpectFreshApartFrom(JsonValue(n), JsonValue::NullVal);
}

TEST(JsonValue, AssignmentReplacesTheKindAndPayloadAndKeepsTheRest) {
  JsonValue target(std::int32_t{5});
  target = JsonValue("x");
  EXPECT_EQ(target.mValueType, JsonValue::StringVal);
  EXPECT_EQ(target.mString, "x");
  EXPECT_EQ(target.mInt, 5);  // not part of a string's payload
  EXPECT_EQ(target.mDouble, 5.0);
  const JsonValue nothing;
  target = nothing;
  EXPECT_EQ(target.mValueType, JsonValue::NullVal);
  EXPECT_EQ(target.mString, "x");

  JsonValue self(JsonArray{JsonValue(true)});
  const JsonValue& alias = self;
  self = alias;
  EXPECT_EQ(self.mArray.size(), 1u);
  self = std::move(self);
  EXPECT_EQ(self.mArray.size(), 1u);

  // A value assigned from inside itself: the element outlives the array
  // that held it.
  JsonValue outer(JsonArray{JsonValue(JsonArray{JsonValue("inner")})});
  outer = outer.mArray[0];
  ASSERT_EQ(outer.mArray.size(), 1u);
  EXPECT_EQ(outer.mArray[0].mString, "inner");
  JsonValue moved(JsonObject{{"k", JsonValue("v")}});
  moved = std::move(moved.mObject["k"]);
  EXPECT_EQ(moved.mValueType, JsonValue::StringVal);
  EXPECT_EQ(moved.mString, "v");
}

TEST(JsonValue, CopiesAreDeepAndOwnTheirMembers) {
  JsonBracketStack stack;
  JsonValue original = ParseJson(R"({"a":{"b":[1,"x"]}})", stack);
  JsonValue copy = original;
  copy.mObject["a"].mObject["b"].mArray.clear();
  copy.mObject["c"] = JsonValue(true);
  EXPECT_EQ(original.mObject.at("a").mObject.at("b").mArray.size(), 2u);
  EXPECT_EQ(original.mObject.size(), 1u);

  // A value may be assigned one of its own members.
  JsonValue v = original;
  v = v.mObject["a"];
  EXPECT_EQ(v.mObject.count("b"), 1u);
  v = v.mObject["b"].mArray[1];
  EXPECT_EQ(v.mString, "x");
  JsonValue w = original;
  w = std::move(w.mObject["a"]);
  EXPECT_EQ(w.mObject.count("b"), 1u);
}

TEST(JsonValue, MembersAreOrderedByteWise) {
  JsonBracketStack stack;
  const JsonValue v = ParseJson("{\"b\":1,\"ab\":1,\"a\":1,\"\xB0\":1,\"A\":1,\"a\xB0\":1}", stack);
  std::string order;
  for (const auto& [key, member] : v.mObject) order += key + "|";
  EXPECT_EQ(order, "A|a|ab|a\xB0|b|\xB0|");  // 0xB0 sorts after every ASCII byte
}

TEST(JsonValue, AccessorsRaiseTheTwoMessages) {
  const std::string objectRequired = "json mValueType==ObjectVal required";
  const std::string stringRequired = "json mValueType==StringVal required";
  for (const JsonValue& v : {JsonValue(), JsonValue("x"), JsonValue(std::int32_t{1}), JsonValue(1.5), JsonValue(true),
                             JsonValue(JsonArray{})}) {
    JsonValue value = v;
    EXPECT_EQ(MessageOf([&] { value.AsObject(); }), objectRequired);
    EXPECT_EQ(MessageOf([&] { value.Member("a"); }), objectRequired);
  }
  for (const JsonValue& v : {JsonValue(), JsonValue(std::int32_t{0}), JsonValue(1.5), JsonValue(false),
                             JsonValue(JsonObject{}), JsonValue(JsonArray{})}) {
    EXPECT_EQ(MessageOf([&] { v.AsString(); }), stringRequired);
  }
  EXPECT_EQ(JsonValue("abc").AsString(), "abc");
}

TEST(JsonValue, ObjectLookupInsertsANullMember) {
  JsonBracketStack stack;
  JsonValue root = ParseJson(R"({"errno":"0","data":{"gsurl":"g"}})", stack);
  JsonObject members = root.AsObject();  // a copy
  members["extra"] = JsonValue(true);
  EXPECT_EQ(root.mObject.count("extra"), 0u);
  EXPECT_EQ(members["errno"].AsString(), "0");
  EXPECT_EQ(members["data"].Member("gsurl").AsString(), "g");
  JsonValue& missing = members["data"].Member("user_name");
  EXPECT_EQ(missing.mValueType, JsonValue::NullVal);
  EXPECT_EQ(members["data"].mObject.count("user_name"), 1u);
  EXPECT_EQ(MessageOf([&] { missing.AsString(); }), "json mValueType==StringVal required");
  EXPECT_EQ(members["absent"].mValueType, JsonValue::NullVal);
  EXPECT_EQ(members.count("absent"), 1u);
  // A failed parse is null, so reading it as an object raises.
  JsonValue bad = ParseJson("{\"errno\":", stack);
  EXPECT_EQ(MessageOf([&] { bad.AsObject(); }), "json mValueType==ObjectVal required");
}

}  // namespace
