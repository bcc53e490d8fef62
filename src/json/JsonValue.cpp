#include "json/JsonValue.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "json/JsonInternal.h"

using json_internal::TruncateToInt;

namespace {

// The longest string kept in the string's own buffer.
const std::size_t kShortString = std::string().capacity();

bool IsNumeric(std::uint32_t type) {
  return type == JsonValue::IntVal || type == JsonValue::FloatVal || type == JsonValue::DoubleVal;
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

// Copies or moves the kind and its payload only; the other representations
// keep what they held. other may live inside this value (v = v.mArray[0]):
// the payload is taken into a temporary before this value's own container is
// replaced.
namespace {

template <typename Source>
void AssignKindAndPayload(JsonValue& self, Source&& other) {
  const std::uint32_t type = other.mValueType;
  if (IsNumeric(type)) {
    self.mInt = other.mInt;
    self.mFloat = other.mFloat;
    self.mDouble = other.mDouble;
  } else if (type == JsonValue::StringVal) {
    std::string taken = std::forward<Source>(other).mString;
    self.mString = std::move(taken);
  } else if (type == JsonValue::ObjectVal) {
    JsonObject taken = std::forward<Source>(other).mObject;
    self.mObject = std::move(taken);
  } else if (type == JsonValue::ArrayVal) {
    JsonArray taken = std::forward<Source>(other).mArray;
    self.mArray = std::move(taken);
  } else if (type == JsonValue::BoolVal) {
    self.mBool = other.mBool;
  }
  self.mValueType = type;
}

}  // namespace

// A new value cannot hold other, so it takes the payload straight into its
// members: one copy or move each, no temporary.
JsonValue::JsonValue(const JsonValue& other)
    : mValueType(other.mValueType),
      mInt(IsNumeric(other.mValueType) ? other.mInt : 0),
      mFloat(IsNumeric(other.mValueType) ? other.mFloat : 0.0f),
      mDouble(IsNumeric(other.mValueType) ? other.mDouble : 0.0),
      mString(other.mValueType == StringVal ? other.mString : std::string()),
      mObject(other.mValueType == ObjectVal ? other.mObject : JsonObject()),
      mArray(other.mValueType == ArrayVal ? other.mArray : JsonArray()),
      mBool(other.mValueType == BoolVal && other.mBool) {}

JsonValue::JsonValue(JsonValue&& other) noexcept
    : mValueType(other.mValueType),
      mInt(IsNumeric(other.mValueType) ? other.mInt : 0),
      mFloat(IsNumeric(other.mValueType) ? other.mFloat : 0.0f),
      mDouble(IsNumeric(other.mValueType) ? other.mDouble : 0.0),
      mString(other.mValueType == StringVal ? std::move(other.mString) : std::string()),
      mObject(other.mValueType == ObjectVal ? std::move(other.mObject) : JsonObject()),
      mArray(other.mValueType == ArrayVal ? std::move(other.mArray) : JsonArray()),
      mBool(other.mValueType == BoolVal && other.mBool) {}

// The strings of the members and elements, those too long for a string's own
// buffer, are blocks of the heap elsewhere; the heap reads each as it takes it
// back. Asking for them all before the containers go lets those reads overlap
// instead of waiting for one string after the other.
JsonValue::~JsonValue() {
#if defined(__GNUC__)
  auto fetch = [](const std::string& text) {
    if (text.capacity() > kShortString) __builtin_prefetch(text.data());
  };
  for (const auto& [key, value] : mObject) {
    fetch(key);
    fetch(value.mString);
  }
  for (const JsonValue& element : mArray) fetch(element.mString);
#endif
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) AssignKindAndPayload(*this, other);
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) AssignKindAndPayload(*this, std::move(other));
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
