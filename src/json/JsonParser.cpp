// The reader: ParseJson, ParseValue, ParseObject and ParseArray.
//
// The rules describe each step as work on a copy of "the rest of the text", and
// FindMatchingBracket as a scan from every nested bracket to its partner.
// Taken literally that is quadratic. This reader gives the same results in
// time linear in the text:
//  - Every step works on a range [pos, end) of the one text; nothing is copied
//    but keys and string values.
//  - One pass before the parse answers, for every '[' and '{' of the text,
//    what FindMatchingBracket would answer when scanning from it: its partner
//    or a failure, and how many brackets its scan holds open at once. This is
//    possible because the scan's in-string flag flips at the same quotes
//    whatever bracket it starts from (a quote not preceded by a backslash), so
//    all scans fall into two classes by the parity of the quotes before their
//    bracket, and within a class the scans nest like ordinary brackets.
//  - The parse then walks the text once, left to right. A step never scans
//    text that an earlier step consumed; a range that a step only skips (the
//    trailing white space of a container) is measured once per container.
// docs/json-reader.md explains the equivalence in more detail.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "json/JsonInternal.h"
#include "json/JsonValue.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using json_internal::IsSpace;

// Byte classes for the bracket pass and the array element scan; an array
// element ends at a class from kOpen on ('[', '{', ']', ','), not at '}'.
enum : unsigned char { kPlain = 0, kQuote = 1, kCurlyClose = 2, kOpen = 3, kSquareClose = 4, kComma = 5 };

struct ByteClasses {
  unsigned char of[256] = {};
  constexpr ByteClasses() {
    of[static_cast<unsigned char>('"')] = kQuote;
    of[static_cast<unsigned char>('[')] = kOpen;
    of[static_cast<unsigned char>('{')] = kOpen;
    of[static_cast<unsigned char>(']')] = kSquareClose;
    of[static_cast<unsigned char>('}')] = kCurlyClose;
    of[static_cast<unsigned char>(',')] = kComma;
  }
};
constexpr ByteClasses kClasses;

inline unsigned char ClassOf(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }

// The commas in [first, last).
std::size_t CountCommas(const char* first, const char* last) {
  std::size_t count = 0;
#if defined(__SSE2__)
  // Per byte lane, a counter that each comma takes down by one (0xFF is -1),
  // summed before any lane can wrap.
  const __m128i comma = _mm_set1_epi8(',');
  while (last - first >= 16) {
    const std::size_t blocks = std::min<std::size_t>(static_cast<std::size_t>(last - first) / 16, 255);
    __m128i lanes = _mm_setzero_si128();
    for (std::size_t i = 0; i < blocks; ++i, first += 16)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first)), comma));
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  return count + static_cast<std::size_t>(std::count(first, last, ','));
}

// Pushes a marker for the container being read and pops it when done, so the
// stack holds one marker per open container; its size is the nesting depth.
class MarkerScope {
 public:
  MarkerScope(JsonBracketStack& stack, int marker) : m_stack(stack) { m_stack.push_back(marker); }
  ~MarkerScope() { m_stack.pop_back(); }
  MarkerScope(const MarkerScope&) = delete;
  MarkerScope& operator=(const MarkerScope&) = delete;

 private:
  JsonBracketStack& m_stack;
};

// Positions are Index-sized: 32 bits for texts under 4 GiB, to halve the
// bracket table.
template <class Index>
class Reader {
 public:
  Reader(std::string_view text, JsonBracketStack& stack) : m_text(text.data()), m_size(text.size()), m_stack(stack) {
    FindPartners();
  }

  std::size_t size() const { return m_size; }

  // ParseValue on [pos, end), where end is already trimmed (no white space
  // before it), into out, a fresh value. rest is where the rest of the text
  // starts; end when nothing is left. out stays fresh null on error.
  void ValueInto(JsonValue& out, std::size_t pos, std::size_t end, std::size_t& rest, bool& error) {
    error = false;
    while (pos < end && IsSpace(static_cast<unsigned char>(m_text[pos]))) ++pos;
    rest = end;
    if (pos >= end) return;
    const char first = m_text[pos];
    if (first == '[' || first == '{') {
      const Opener* opener = OpenerAt(pos);
      // A failed scan (mismatch, end of text first) or one that goes deeper
      // than the bound is an error; so is a partner beyond this text's end.
      if (opener == nullptr || opener->partner == kNoPartner || opener->partner >= end ||
          m_stack.size() + opener->height > kJsonMaxDepth) {
        error = true;
        return;
      }
      const std::size_t partner = opener->partner;
      rest = partner + 1;
      // A container that fails without a mismatch is null, without error.
      if (first == '[')
        ArrayInto(out, pos, partner + 1);
      else
        ObjectInto(out, pos, partner + 1);
      return;
    }
    if (first == '"') {
      StringInto(out, pos, end, rest, error);
      return;
    }
    ScalarInto(out, pos, end, rest, error);
  }

  // ParseObject on the object text [first, last), into the fresh value out:
  // the content is what lies between its first and last characters. Each
  // member's value is read straight into its place in the map.
  void ObjectInto(JsonValue& out, std::size_t first, std::size_t last) {
    MarkerScope marker(m_stack, kJsonObjectMarker);
    if (last - first <= 2) {  // "{}": empty content
      out.mValueType = JsonValue::ObjectVal;
      return;
    }
    JsonObject& members = out.mObject;
    std::size_t pos = first + 1;
    const std::size_t end = TrimmedEnd(pos, last - 1);
    // Content that is only white space has no key: null (the loop finds none).
    while (true) {
      const std::size_t open = UnescapedQuote(pos, end);
      if (open == kNone) return MakeNull(out);
      const std::size_t close = UnescapedQuote(open + 1, end);
      if (close == kNone) return MakeNull(out);
      const void* colon = std::memchr(m_text + close, ':', end - close);
      if (colon == nullptr) return MakeNull(out);
      if (close == open + 1) return MakeNull(out);  // empty key
      const std::size_t valuePos = static_cast<std::size_t>(static_cast<const char*>(colon) - m_text) + 1;
      JsonValue& slot = MemberSlot(members, std::string_view(m_text + open + 1, close - open - 1));
      bool error = false;
      ValueInto(slot, valuePos, end, pos, error);
      if (error) return MakeNull(out);
      if (pos >= end) break;
    }
    out.mValueType = JsonValue::ObjectVal;
  }

  // ParseArray on the array text [first, last), which begins with '[' and
  // ends with ']', into the fresh value out. Each array is allocated once, at
  // its final size: a flat one (no bracket inside) reads its elements straight
  // into its own sequence, sized by its commas; one with containers inside
  // gathers them on a scratch stack shared by all arrays of the parse.
  void ArrayInto(JsonValue& out, std::size_t first, std::size_t last) {
    MarkerScope marker(m_stack, kJsonArrayMarker);
    // Trailing white space of the content only ever ends up in an element
    // that trims to nothing, so the content can end where it is trimmed.
    const std::size_t end = TrimmedEnd(first + 1, last - 1);
    JsonArray& elements = out.mArray;
    if (!HasOpenerWithin(first + 1, end)) {
      elements.reserve(CountCommas(m_text + first + 1, m_text + end) + 1);
      if (!ReadElements(first + 1, end, elements)) return MakeNull(out);
      out.mValueType = JsonValue::ArrayVal;
      return;
    }
    const std::size_t base = m_scratch.size();
    if (!ReadElements(first + 1, end, m_scratch)) {
      DropScratchFrom(base);
      return;
    }
    elements.reserve(m_scratch.size() - base);
    for (auto it = m_scratch.begin() + static_cast<std::ptrdiff_t>(base); it != m_scratch.end(); ++it)
      elements.push_back(std::move(*it));
    DropScratchFrom(base);
    out.mValueType = JsonValue::ArrayVal;
  }

 private:
  static constexpr Index kNoPartner = std::numeric_limits<Index>::max();
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::uint32_t kHeightCap = static_cast<std::uint32_t>(kJsonMaxDepth) + 1;

  struct Opener {
    Index pos;
    Index partner;         // kNoPartner: the scan from here fails
    std::uint32_t height;  // brackets its scan holds open at once, itself included (capped)
  };

  // The one pass before the parse. Scans of one class see the same brackets
  // outside strings, and among them a scan from an opener behaves as a plain
  // bracket matcher started there: its partner is the close bracket that pops
  // it; a close bracket of the wrong kind fails every scan still open in its
  // class; the end of the text fails the rest.
  void FindPartners() {
    std::vector<Index> open[2];  // indices into m_openers, per class
    unsigned parity = 0;
    std::size_t pos = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: most blocks hold a few quotes and brackets
    // among plain bytes, and only those are visited, in text order.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i caseBit = _mm_set1_epi8(0x20);  // '[' | 0x20 == '{', ']' | 0x20 == '}'
    const __m128i curlyOpen = _mm_set1_epi8('{');
    const __m128i curlyClose = _mm_set1_epi8('}');
    for (; pos + 16 <= m_size; pos += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_text + pos));
      const __m128i folded = _mm_or_si128(bytes, caseBit);
      const unsigned opens = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, curlyOpen)));
      const unsigned closes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, curlyClose)));
      unsigned quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)));
      if ((opens | closes | quotes) == 0) continue;
      if (quotes != 0) {
        // A quote right after a backslash does not count.
        const unsigned backslashes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash)));
        const unsigned before = pos > 0 && m_text[pos - 1] == '\\' ? 1u : 0u;
        quotes &= ~((backslashes << 1) | before);
      }
      for (unsigned events = opens | closes | quotes; events != 0; events &= events - 1) {
        const unsigned bit = events & (0u - events);
        if (quotes & bit)
          parity ^= 1u;
        else
          OnBracket(open[parity], pos + static_cast<std::size_t>(__builtin_ctz(events)), (opens & bit) != 0);
      }
    }
#endif
    for (; pos < m_size; ++pos) {
      const unsigned char kind = ClassOf(m_text[pos]);
      if (kind == kPlain || kind == kComma) continue;
      if (kind == kQuote) {
        if (pos == 0 || m_text[pos - 1] != '\\') parity ^= 1u;
        continue;
      }
      OnBracket(open[parity], pos, kind == kOpen);
    }
  }

  // A bracket outside strings for the scans of one class.
  void OnBracket(std::vector<Index>& scans, std::size_t pos, bool opening) {
    if (opening) {
      scans.push_back(static_cast<Index>(m_openers.size()));
      m_openers.push_back(Opener{static_cast<Index>(pos), kNoPartner, 1});
      return;
    }
    if (scans.empty()) return;  // no scan of this class is open here
    Opener& top = m_openers[scans.back()];
    if ((m_text[top.pos] == '[') != (m_text[pos] == ']')) {
      scans.clear();  // mismatch: all of them answer -1
      return;
    }
    top.partner = static_cast<Index>(pos);
    const std::uint32_t height = top.height;
    scans.pop_back();
    if (!scans.empty()) {
      Opener& parent = m_openers[scans.back()];
      const std::uint32_t nested = height < kHeightCap ? height + 1 : kHeightCap;
      if (nested > parent.height) parent.height = nested;
    }
  }

  // The parse asks about openers in increasing position order.
  const Opener* OpenerAt(std::size_t pos) {
    while (m_cursor < m_openers.size() && m_openers[m_cursor].pos < pos) ++m_cursor;
    if (m_cursor == m_openers.size() || m_openers[m_cursor].pos != pos) return nullptr;  // cannot happen
    return &m_openers[m_cursor];
  }

  // Whether a '[' or '{' lies in [from, to); the parse is at or before from.
  bool HasOpenerWithin(std::size_t from, std::size_t to) const {
    std::size_t next = m_cursor;
    while (next < m_openers.size() && m_openers[next].pos < from) ++next;
    return next < m_openers.size() && m_openers[next].pos < to;
  }

  // The elements of the array content [pos, end), the non-null ones appended
  // to out. An element of the array's own sequence is read in its place at
  // the end; one bound for the scratch stack is read aside first, since a
  // nested value may itself append to the scratch stack. False for a
  // malformed element.
  template <class Sequence>
  bool ReadElements(std::size_t pos, std::size_t end, Sequence& out) {
    constexpr bool kInPlace = std::is_same_v<Sequence, JsonArray>;
    while (pos < end) {
      std::size_t stop = pos;
      while (stop < end && ClassOf(m_text[stop]) < kOpen) ++stop;  // up to [ { ] or ,
      bool error = false;
      const std::size_t from = pos;
      // A nested value is ParseValue of the whole content from pos. Any
      // other element runs up to ',' or ']' (or the end) and is ParseValue of
      // that token; the token's own rest is dropped and the content goes on
      // after the stop.
      const bool nested = stop < end && ClassOf(m_text[stop]) == kOpen;
      std::size_t tokenRest = 0;
      JsonValue aside;
      JsonValue& value = kInPlace ? out.emplace_back() : aside;
      if (nested)
        ValueInto(value, from, end, pos, error);
      else
        ValueInto(value, from, TrimmedEnd(from, stop), tokenRest, error);
      if (!nested) pos = stop < end ? stop + 1 : end;
      if (error) return false;
      if constexpr (kInPlace) {
        if (value.mValueType == JsonValue::NullVal) out.pop_back();
      } else {
        if (value.mValueType != JsonValue::NullVal) out.push_back(std::move(value));
      }
    }
    return true;
  }

  void DropScratchFrom(std::size_t base) {
    m_scratch.erase(m_scratch.begin() + static_cast<std::ptrdiff_t>(base), m_scratch.end());
  }

  // A container that turns out malformed: back to a fresh null, its memory
  // given back.
  static void MakeNull(JsonValue& out) {
    JsonObject().swap(out.mObject);
    JsonArray().swap(out.mArray);
    out.mValueType = JsonValue::NullVal;
  }

  // The fresh value of member key. Keys that come in order go in at the end
  // without a search. A repeated key ends with its last value, as a fresh
  // copy of it: its member is made fresh again before that value is read.
  static JsonValue& MemberSlot(JsonObject& members, std::string_view key) {
    if (members.empty() || std::string_view(std::prev(members.end())->first) < key)
      return members
          .emplace_hint(members.end(), std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple())
          ->second;
    auto [slot, inserted] = members.try_emplace(std::string(key));
    if (!inserted) {
      std::destroy_at(&slot->second);
      std::construct_at(&slot->second);
    }
    return slot->second;
  }

  std::size_t TrimmedEnd(std::size_t pos, std::size_t end) const {
    while (end > pos && IsSpace(static_cast<unsigned char>(m_text[end - 1]))) --end;
    return end;
  }

  // The first double quote in [pos, end) that no backslash escapes (a
  // backslash escapes the next character; two in a row cancel out).
  std::size_t UnescapedQuote(std::size_t pos, std::size_t end) const {
    for (; pos < end; ++pos) {
      if (m_text[pos] == '\\')
        ++pos;
      else if (m_text[pos] == '"')
        return pos;
    }
    return kNone;
  }

  // A string value: FindClosingQuote, then UnescapeJsonString of the body.
  void StringInto(JsonValue& out, std::size_t pos, std::size_t end, std::size_t& rest, bool& error) {
    // Most strings have no escape: the first quote ends them, unless a
    // backslash comes before it; only then is the body walked byte by byte.
    std::size_t close = end;
    if (const void* quote = std::memchr(m_text + pos + 1, '"', end - pos - 1))
      close = static_cast<std::size_t>(static_cast<const char*>(quote) - m_text);
    const void* backslash = std::memchr(m_text + pos + 1, '\\', close - pos - 1);
    const bool escaped = backslash != nullptr;
    if (escaped) {
      close = static_cast<std::size_t>(static_cast<const char*>(backslash) - m_text);
      for (; close < end; ++close) {
        const char c = m_text[close];
        if (c == '\\')
          ++close;
        else if (c == '"')
          break;
      }
    }
    if (close >= end) {
      error = true;
      return;
    }
    rest = close + 1;
    out.mValueType = JsonValue::StringVal;
    if (escaped) {
      out.mString = json_internal::Unescape(m_text + pos + 1, m_text + close);
      return;
    }
    std::size_t first = pos + 1;
    while (first < close && IsSpace(static_cast<unsigned char>(m_text[first]))) ++first;
    out.mString.assign(m_text + first, TrimmedEnd(first, close) - first);
  }

  // A scalar: the token scan up to ',' or the end, then the conversion. Any
  // bracket in the token is an error: '[' and '{' at once, ']' and '}' either
  // at the stack check or, having passed it, in the conversion.
  void ScalarInto(JsonValue& out, std::size_t pos, std::size_t end, std::size_t& rest, bool& error) {
    bool digit = false;
    bool dot = false;
    bool exponent = false;
    bool spaceSeen = false;
    bool spaceInside = false;     // white space between token characters
    std::size_t tokenLength = 0;  // characters kept so far
    char head[4] = {};            // the first four kept, for the "tru"/"fals" test
    std::size_t tokenEnd = pos;
    std::size_t at = pos;
    for (; at < end; ++at) {
      const char c = m_text[at];
      if (c == ',') break;
      if (c == '.') {
        if (!digit) return Fail(error);
        dot = true;
      } else if (c == 'e' || c == 'E') {
        if (!IsKeywordStem(head, tokenLength)) {
          if (!digit || exponent) return Fail(error);
          exponent = true;
        }
      } else if (c == '[' || c == '{' || c == ']' || c == '}') {
        return Fail(error);
      }
      if (IsSpace(static_cast<unsigned char>(c))) {
        spaceSeen = true;
        continue;
      }
      spaceInside = spaceInside || spaceSeen;
      if (tokenLength < 4) head[tokenLength] = c;
      ++tokenLength;
      digit = digit || json_internal::IsDigit(static_cast<unsigned char>(c));
      tokenEnd = at + 1;
    }
    rest = at;
    bool converted = false;
    if (!spaceInside) {
      converted = json_internal::ConvertScalar(std::string_view(m_text + pos, tokenEnd - pos), dot, exponent, out);
    } else {
      std::string token;
      token.reserve(tokenLength);
      for (std::size_t i = pos; i < tokenEnd; ++i)
        if (!IsSpace(static_cast<unsigned char>(m_text[i]))) token.push_back(m_text[i]);
      converted = json_internal::ConvertScalar(token, dot, exponent, out);
    }
    if (!converted) Fail(error);
  }

  static void Fail(bool& error) { error = true; }

  // The token so far is "tru" or "fals", in any letter case.
  static bool IsKeywordStem(const char (&head)[4], std::size_t length) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (length == 3) return lower(head[0]) == 't' && lower(head[1]) == 'r' && lower(head[2]) == 'u';
    if (length == 4)
      return lower(head[0]) == 'f' && lower(head[1]) == 'a' && lower(head[2]) == 'l' && lower(head[3]) == 's';
    return false;
  }

  const char* m_text;
  std::size_t m_size;
  JsonBracketStack& m_stack;
  std::vector<Opener> m_openers;  // every '[' and '{', in text order
  std::size_t m_cursor = 0;
  std::vector<JsonValue> m_scratch;  // elements of the arrays being read
};

// Runs f on a reader of text, with the narrowest position type that fits.
template <class F>
JsonValue WithReader(std::string_view text, JsonBracketStack& stack, F&& f) {
  json_internal::ParseMemory memory(text.size());
  if (text.size() < std::numeric_limits<std::uint32_t>::max()) {
    Reader<std::uint32_t> reader(text, stack);
    return f(reader);
  }
  Reader<std::size_t> reader(text, stack);
  return f(reader);
}

}  // namespace

JsonValue ParseJson(std::string_view text, JsonBracketStack& stack) {
  const std::string_view trimmed = TrimSpaces(text);
  if (trimmed.empty()) return JsonValue();
  const char first = trimmed.front();
  const char last = trimmed.back();
  const bool object = first == '{' && last == '}';
  const bool array = first == '[' && last == ']';
  if (!object && !array) return JsonValue();  // a scalar, or text after the closing bracket
  return WithReader(trimmed, stack, [&](auto& reader) {
    JsonValue value;
    if (object)
      reader.ObjectInto(value, 0, reader.size());
    else
      reader.ArrayInto(value, 0, reader.size());
    return value;
  });
}

JsonValue ParseValue(std::string& text, JsonBracketStack& stack, bool& error) {
  error = false;
  const std::string_view trimmed = TrimSpaces(text);
  if (trimmed.empty()) {
    text.clear();
    return JsonValue();
  }
  std::size_t rest = 0;
  bool failed = false;
  JsonValue value = WithReader(trimmed, stack, [&](auto& reader) {
    JsonValue read;
    reader.ValueInto(read, 0, reader.size(), rest, failed);
    return read;
  });
  error = failed;
  text = std::string(failed ? trimmed : trimmed.substr(rest));
  return value;
}

JsonValue ParseObject(std::string_view text, JsonBracketStack& stack) {
  const std::string_view trimmed = TrimSpaces(text);
  if (trimmed.size() < 2) return JsonValue(JsonObject());
  return WithReader(trimmed, stack, [&](auto& reader) {
    JsonValue value;
    reader.ObjectInto(value, 0, reader.size());
    return value;
  });
}

JsonValue ParseArray(std::string& text, JsonBracketStack& stack) {
  const std::string_view trimmed = TrimSpaces(text);
  JsonValue value;
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']')
    value = WithReader(trimmed, stack, [&](auto& reader) {
      JsonValue read;
      reader.ArrayInto(read, 0, reader.size());
      return read;
    });
  text.clear();
  return value;
}
