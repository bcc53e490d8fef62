// libFuzzer target for the JSON reader. Every input is read with
// ParseJson, whose result is then walked through the accessors; inputs up to
// kCompareLimit bytes are also read by the literal transcription of the rules
// (tests/unit/json/test_json_literal.cpp) and every entry point must agree with
// it field for field. Any difference aborts, so the fuzzer reports it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#define KQV_JSON_LITERAL_NO_TESTS
#include "../../tests/unit/json/test_json_literal.cpp"

namespace {

constexpr std::size_t kCompareLimit = 4096;  // the transcription is quadratic

// Reads a value the way the service reply reader does, member by member.
std::size_t Walk(JsonValue& value, int depth) {
  std::size_t seen = 1;
  try {
    JsonObject members = value.AsObject();
    for (auto& [key, member] : members) seen += Walk(member, depth + 1);
    (void)value.Member("errno").mValueType;
    (void)value.Member("data");
  } catch (const std::runtime_error&) {
  }
  try {
    seen += value.AsString().size();
  } catch (const std::runtime_error&) {
  }
  for (JsonValue& element : value.mArray) seen += Walk(element, depth + 1);
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  JsonBracketStack stack;
  JsonValue root = ParseJson(text, stack);
  if (!stack.empty()) std::abort();
  JsonValue copy = root;
  Walk(copy, 0);
  if (size <= kCompareLimit) {
    if (const char* differs = literal::Compare(std::string(text))) {
      std::fprintf(stderr, "the reader and the literal rules differ in %s\n", differs);
      std::abort();
    }
  }
  return 0;
}
