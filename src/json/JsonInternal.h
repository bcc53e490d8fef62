#pragma once

// Pieces of the JSON reader shared by its source files. Not for
// other callers: use JsonValue.h.

#include <string>
#include <string_view>

#include "json/JsonValue.h"

namespace json_internal {

// isspace in the "C" locale: space, \t, \n, \v, \f, \r. Never a byte >= 0x80.
inline bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Decodes the escapes of the string body [first, last) and trims white space
// from both ends of the result (UnescapeJsonString).
std::string Unescape(const char* first, const char* last);

// Converts a scalar token (its white space already dropped) by the defined
// rules: keywords, then strtod-like when the dot or exponent flag is on, then
// null, then strtol-like with a 32-bit long. False on error.
bool ConvertScalar(std::string_view token, bool dotFlag, bool exponentFlag, JsonValue& out);

}  // namespace json_internal
