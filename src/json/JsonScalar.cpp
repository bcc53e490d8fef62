// Conversion of a scalar token.
//
// The rules name strtod and strtol. Both are replaced by locale-independent
// equivalents (a GTK program runs under the user's locale, whose decimal point
// may be a comma): the token must match the decimal grammar strtod reads
// (optional sign, digits with an optional point, optional exponent), which
// keeps hexadecimal, infinity and NaN spellings out, and is then converted
// with std::from_chars, correctly rounded. The range errors are strtod's
// ERANGE cases: a result beyond the double range, or a non-zero number whose
// result is below the smallest normal double (zero or subnormal). strtol is
// read with Windows' 32-bit long.

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "json/JsonInternal.h"

namespace json_internal {
namespace {

bool EqualsIgnoringCase(std::string_view token, std::string_view lowerWord) {
  if (token.size() != lowerWord.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    char c = token[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerWord[i]) return false;
  }
  return true;
}

// strtod under the defined rules: false unless the whole token is a decimal
// number within the double range.
bool ConvertDouble(std::string_view token, JsonValue& out) {
  const std::size_t n = token.size();
  std::size_t i = 0;
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t digits = 0;
  bool nonZeroDigit = false;
  while (i < n && IsDigit(static_cast<unsigned char>(token[i]))) {
    nonZeroDigit = nonZeroDigit || token[i] != '0';
    ++digits;
    ++i;
  }
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && IsDigit(static_cast<unsigned char>(token[i]))) {
      nonZeroDigit = nonZeroDigit || token[i] != '0';
      ++digits;
      ++i;
    }
  }
  if (digits == 0) return false;  // nothing converted
  if (i < n && (token[i] == 'e' || token[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (token[j] == '+' || token[j] == '-')) ++j;
    const std::size_t exponentStart = j;
    while (j < n && IsDigit(static_cast<unsigned char>(token[j]))) ++j;
    if (j > exponentStart) i = j;  // without digits the 'e' stays unconverted
  }
  if (i != n) return false;  // characters left unconverted

  // from_chars takes no '+' before the number.
  const char* first = token.data() + (token[0] == '+' ? 1 : 0);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(first, token.data() + n, value, std::chars_format::general);
  if (ec != std::errc() || end != token.data() + n) return false;
  if (std::isinf(value)) return false;                               // overflow
  if (nonZeroDigit && !(std::fabs(value) >= DBL_MIN)) return false;  // underflow
  AssignDouble(out, value);
  return true;
}

// out = JsonValue(flag) and out = JsonValue(), without the temporary.
void AssignBool(JsonValue& out, bool flag) {
  out.mValueType = JsonValue::BoolVal;
  out.mBool = flag;
}

}  // namespace

bool ConvertScalar(std::string_view token, bool dotFlag, bool exponentFlag, JsonValue& out) {
  if (EqualsIgnoringCase(token, "true")) {
    AssignBool(out, true);
    return true;
  }
  if (EqualsIgnoringCase(token, "false")) {
    AssignBool(out, false);
    return true;
  }
  if (dotFlag || exponentFlag) return ConvertDouble(token, out);
  if (EqualsIgnoringCase(token, "null")) {
    out.mValueType = JsonValue::NullVal;
    return true;
  }
  // strtol(token, &end, 10) with a 32-bit long.
  const std::size_t n = token.size();
  std::size_t i = 0;
  bool negative = false;
  if (i < n && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  const std::size_t digitsStart = i;
  std::int64_t magnitude = 0;
  bool overflow = false;
  for (; i < n && IsDigit(static_cast<unsigned char>(token[i])); ++i) {
    if (!overflow) {
      magnitude = magnitude * 10 + (token[i] - '0');
      overflow = magnitude > std::int64_t{INT_MAX} + 1;
    }
  }
  if (i == digitsStart) {
    // No digits: nothing is converted, so the whole token is left over. Only
    // an empty token (a value that begins with ',') has nothing left: 0.
    if (n != 0) return false;
    AssignInt(out, 0);
    return true;
  }
  if (i != n) return false;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (overflow || value > INT_MAX || value < INT_MIN) return ConvertDouble(token, out);
  AssignInt(out, static_cast<std::int32_t>(value));
  return true;
}

}  // namespace json_internal
