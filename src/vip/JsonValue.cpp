#include "vip/JsonValue.h"

#include <climits>
#include <stdexcept>
#include <utility>

namespace {

bool IsNumeric(std::uint32_t type) {
  return type == JsonValue::IntVal || type == JsonValue::FloatVal || type == JsonValue::DoubleVal;
}

// Truncation toward zero; what x86's cvttsd2si gives outside the range.
std::int32_t TruncateToInt(double number) {
  if (number > -2147483649.0 && number < 2147483648.0) return static_cast<std::int32_t>(number);
  return INT_MIN;  // also for NaN, which fails both comparisons
}

}  // namespace

JsonValue::JsonValue(std::string text) : mValueType(StringVal), mString(std::move(text)) {}

JsonValue::JsonValue(const char* text) : JsonValue(std::string(text)) {}

JsonValue::JsonValue(std::int32_t number)
    : mValueType(IntVal), mInt(number), mFloat(static_cast<float>(number)), mDouble(number) {}

JsonValue::JsonValue(double number)
    : mValueType(DoubleVal), mInt(TruncateToInt(number)), mFloat(static_cast<float>(number)), mDouble(number) {}

JsonValue::JsonValue(bool flag) : mValueType(BoolVal), mBool(flag) {}

JsonValue::JsonValue(JsonObject members) : mValueType(ObjectVal), mObject(std::move(members)) {}

JsonValue::JsonValue(JsonArray elements) : mValueType(ArrayVal), mArray(std::move(elements)) {}

JsonValue::JsonValue(const JsonValue& other) : mValueType(other.mValueType) {
  if (IsNumeric(mValueType)) {
    mInt = other.mInt;
    mFloat = other.mFloat;
    mDouble = other.mDouble;
  } else if (mValueType == StringVal) {
    mString = other.mString;
  } else if (mValueType == ObjectVal) {
    mObject = other.mObject;
  } else if (mValueType == ArrayVal) {
    mArray = other.mArray;
  } else if (mValueType == BoolVal) {
    mBool = other.mBool;
  }
}

JsonValue::JsonValue(JsonValue&& other) noexcept : mValueType(other.mValueType) {
  if (IsNumeric(mValueType)) {
    mInt = other.mInt;
    mFloat = other.mFloat;
    mDouble = other.mDouble;
  } else if (mValueType == StringVal) {
    mString = std::move(other.mString);
  } else if (mValueType == ObjectVal) {
    mObject = std::move(other.mObject);
  } else if (mValueType == ArrayVal) {
    mArray = std::move(other.mArray);
  } else if (mValueType == BoolVal) {
    mBool = other.mBool;
  }
}

// other may live inside this value (v = v.mArray[0]): each payload is taken
// into a temporary before this value's own container is replaced.
JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this == &other) return *this;
  const std::uint32_t type = other.mValueType;
  if (IsNumeric(type)) {
    mInt = other.mInt;
    mFloat = other.mFloat;
    mDouble = other.mDouble;
  } else if (type == StringVal) {
    std::string copy = other.mString;
    mString = std::move(copy);
  } else if (type == ObjectVal) {
    JsonObject copy = other.mObject;
    mObject = std::move(copy);
  } else if (type == ArrayVal) {
    JsonArray copy = other.mArray;
    mArray = std::move(copy);
  } else if (type == BoolVal) {
    mBool = other.mBool;
  }
  mValueType = type;
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this == &other) return *this;
  const std::uint32_t type = other.mValueType;
  if (IsNumeric(type)) {
    mInt = other.mInt;
    mFloat = other.mFloat;
    mDouble = other.mDouble;
  } else if (type == StringVal) {
    std::string taken = std::move(other.mString);
    mString = std::move(taken);
  } else if (type == ObjectVal) {
    JsonObject taken = std::move(other.mObject);
    mObject = std::move(taken);
  } else if (type == ArrayVal) {
    JsonArray taken = std::move(other.mArray);
    mArray = std::move(taken);
  } else if (type == BoolVal) {
    mBool = other.mBool;
  }
  mValueType = type;
  return *this;
}

JsonObject JsonValue::AsObject() const {
  if (mValueType != ObjectVal) throw std::runtime_error("json mValueType==ObjectVal required");
  return mObject;
}

JsonValue& JsonValue::Member(const char* name) {
  if (mValueType != ObjectVal) throw std::runtime_error("json mValueType==ObjectVal required");
  return mObject[name];
}

std::string JsonValue::AsString() const {
  if (mValueType != StringVal) throw std::runtime_error("json mValueType==StringVal required");
  return mString;
}
