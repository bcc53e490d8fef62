#pragma once

// The system's own JSON reader. It reads narrow byte strings as
// they arrive, permissively and lossily in the fixed ways the rules state; only
// the typed accessors raise. docs/json-reader.md records the points the rules
// leave open, the nesting bound and how the reader stays linear.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

class JsonValue;

namespace json_internal {
// The memory of maps and sequences. While a parse runs on the calling thread,
// blocks come from that parse's arena (a few large pieces, freed together
// when the last block of the tree is freed); otherwise from the heap. A block
// records where it came from, so any thread may free any block.
void* AllocateBlock(std::size_t bytes);
void FreeBlock(void* block) noexcept;
}  // namespace json_internal

// Stateless: all instances are equal, so containers copy, move and swap as
// with std::allocator.
template <class T>
class JsonAllocator {
 public:
  using value_type = T;

  JsonAllocator() noexcept = default;
  template <class U>
  JsonAllocator(const JsonAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    static_assert(alignof(T) <= alignof(void*), "blocks are pointer-aligned");
    if (n > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(json_internal::AllocateBlock(n * sizeof(T)));
  }
  void deallocate(T* block, std::size_t) noexcept { json_internal::FreeBlock(block); }

  template <class U>
  bool operator==(const JsonAllocator<U>&) const noexcept {
    return true;
  }
};

// Members keyed by byte string, ordered byte-wise (a prefix sorts first).
using JsonObject =
    std::map<std::string, JsonValue, std::less<std::string>, JsonAllocator<std::pair<const std::string, JsonValue>>>;
using JsonArray = std::vector<JsonValue, JsonAllocator<JsonValue>>;

// The bracket stack one parse carries: a marker per open bracket.
using JsonBracketStack = std::vector<int>;
inline constexpr int kJsonObjectMarker = 0;  // '{'
inline constexpr int kJsonArrayMarker = 1;   // '['

// At most this many containers are open at once, counting the one ParseJson
// reads (and any markers the caller's stack already holds). Deeper text is a
// bracket mismatch: FindMatchingBracket answers -1.
inline constexpr std::size_t kJsonMaxDepth = 256;

// One value of any kind. All representations sit side by side; mValueType says
// which one is meaningful.
class JsonValue {
 public:
  enum ValueType : std::uint32_t {
    NullVal = 0,
    StringVal = 1,
    IntVal = 2,     // mInt; mFloat and mDouble hold the same number converted
    FloatVal = 3,   // mFloat; mInt truncated toward zero, mDouble widened (never read)
    DoubleVal = 4,  // mDouble; mInt truncated toward zero, mFloat narrowed
    ObjectVal = 5,
    ArrayVal = 6,
    BoolVal = 7,
  };

  // A fresh value: NullVal, numbers 0, empty string, map and sequence, false.
  JsonValue() = default;
  explicit JsonValue(std::string text);
  explicit JsonValue(const char* text);
  explicit JsonValue(std::int32_t number);
  // mInt is the number truncated toward zero; a number outside the 32-bit range
  // (or not a number) gives INT_MIN there, as the x86 conversion does.
  explicit JsonValue(double number);
  explicit JsonValue(bool flag);
  explicit JsonValue(JsonObject members);
  explicit JsonValue(JsonArray elements);

  // Copying takes mValueType and that kind's payload only (the string, the
  // three numbers, a deep copy of the map or sequence, the bool). A copy is
  // otherwise fresh; an assigned-to value keeps its other fields as they were.
  // Self-assignment does nothing. Moves follow the same rule.
  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue();

  // A copy of mObject. Raises std::runtime_error
  // "json mValueType==ObjectVal required" unless this is an object.
  JsonObject AsObject() const;
  // The member called name, inserted as null when absent. Same error as AsObject.
  JsonValue& Member(const char* name);
  // mString. Raises std::runtime_error "json mValueType==StringVal required"
  // unless this is a string.
  std::string AsString() const;

  std::uint32_t mValueType = NullVal;
  std::int32_t mInt = 0;
  float mFloat = 0.0f;
  double mDouble = 0.0;
  std::string mString;
  JsonObject mObject;
  JsonArray mArray;
  bool mBool = false;
};

// The entry point: an object or array text, white space around it allowed.
// Anything else, and malformed text, gives null; it never raises for bad text.
// On return the stack is as it was given.
JsonValue ParseJson(std::string_view text, JsonBracketStack& stack);

// Reads one value from the front of text and leaves the rest of the text in
// text. Clears error on entry; sets it on malformed input and returns null
// (text is then its trimmed copy). On return the stack is as it was given.
JsonValue ParseValue(std::string& text, JsonBracketStack& stack, bool& error);

// One whole object text; the caller has made sure that, trimmed, it begins
// with '{' and ends with '}'.
JsonValue ParseObject(std::string_view text, JsonBracketStack& stack);

// One whole array text, brackets included; null unless, trimmed, it begins with
// '[' and ends with ']'. Uses the text up: it is empty afterwards.
JsonValue ParseArray(std::string& text, JsonBracketStack& stack);

// The text without white space (space, \t, \n, \v, \f, \r) at either end; a
// view into the argument.
std::string_view TrimSpaces(std::string_view text);

// text begins with an opening bracket whose marker the caller has just pushed.
// Answers the position of its closing bracket (popping down to the caller's
// marker included), -1 for a mismatch or nesting deeper than kJsonMaxDepth, or
// the text's length when the end comes first (1 for a text shorter than two).
std::ptrdiff_t FindMatchingBracket(std::string_view text, JsonBracketStack& stack);

// text begins with a double quote. The position of the first unescaped double
// quote after it, or -1.
std::ptrdiff_t FindClosingQuote(std::string_view text);

// Decodes the escapes of a string body and trims white space from the result.
std::string UnescapeJsonString(std::string_view body);
