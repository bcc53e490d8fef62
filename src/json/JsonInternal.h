#pragma once

// Pieces of the JSON reader shared by its source files. Not for
// other callers: use JsonValue.h.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/JsonValue.h"

namespace json_internal {

struct Arena;

// The arena of one parse, for as long as the parse runs on this thread: the
// maps and sequences made meanwhile on this thread take their blocks from
// it. Nests (the innermost scope is used). The arena itself lives on until
// the last of its blocks is freed, on whichever thread.
class ParseMemory {
 public:
  // textBytes sizes the first piece: a tree takes several times its text.
  explicit ParseMemory(std::size_t textBytes) noexcept;
  ~ParseMemory();
  ParseMemory(const ParseMemory&) = delete;
  ParseMemory& operator=(const ParseMemory&) = delete;

  void* Allocate(std::size_t bytes);

 private:
  void* AllocateFromNewPiece(std::size_t need);

  Arena* m_arena = nullptr;  // made at the first block
  char* m_cursor = nullptr;  // the free part of the current piece
  char* m_limit = nullptr;
  std::size_t m_firstPiece;     // bytes of the first piece
  std::size_t m_handedOut = 0;  // blocks handed out
  ParseMemory* m_previous;
};

// Arenas not yet freed, and usual pieces kept for the next parses, in the
// whole process: for tests of the tree's memory.
std::size_t LiveArenas() noexcept;
std::size_t KeptPieces() noexcept;

// Truncation toward zero; what x86's cvttsd2si gives outside the range.
inline std::int32_t TruncateToInt(double number) {
  if (number > -2147483649.0 && number < 2147483648.0) return static_cast<std::int32_t>(number);
  return INT_MIN;  // also for NaN, which fails both comparisons
}

// out = JsonValue(number), without the temporary: the kind and the three
// numbers, nothing else.
inline void AssignInt(JsonValue& out, std::int32_t number) {
  out.mValueType = JsonValue::IntVal;
  out.mInt = number;
  out.mFloat = static_cast<float>(number);
  out.mDouble = number;
}

inline void AssignDouble(JsonValue& out, double number) {
  out.mValueType = JsonValue::DoubleVal;
  out.mInt = TruncateToInt(number);
  out.mFloat = static_cast<float>(number);
  out.mDouble = number;
}

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
