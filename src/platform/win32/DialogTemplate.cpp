#include "platform/win32/DialogTemplate.h"

#include <algorithm>
#include <cstring>

namespace ui::win32 {
namespace {

// Reads the 16-bit units of a template; every read is bounds-checked.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::size_t Offset() const { return m_at; }
  bool Ok() const { return m_ok; }
  std::uint16_t Word() {
    if (m_at + 2 > m_size) return Fail();
    std::uint16_t value;
    std::memcpy(&value, m_data + m_at, 2);
    m_at += 2;
    return value;
  }
  std::uint32_t Dword() {
    const std::uint32_t low = Word();
    return low | (static_cast<std::uint32_t>(Word()) << 16);
  }
  void Skip(std::size_t bytes) {
    if (m_at + bytes > m_size)
      Fail();
    else
      m_at += bytes;
  }
  void String() {
    while (m_ok && Word() != 0) {
    }
  }
  // A name or ordinal: 0 none, 0xFFFF and a number, or a string. Answers
  // whether it was a string starting with an opening brace.
  bool NameOrOrdinal() {
    const std::uint16_t first = Word();
    if (first == 0) return false;
    if (first == 0xFFFF) {
      Word();
      return false;
    }
    String();
    return first == u'{';
  }
  void AlignDword() { m_at = (m_at + 3) & ~std::size_t{3}; }

 private:
  std::uint16_t Fail() {
    m_ok = false;
    m_at = m_size;
    return 0;
  }
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
  bool m_ok = true;
};

constexpr std::uint32_t kDsSetFont = 0x40;

}  // namespace

std::optional<DialogTemplate> WithoutActiveXControls(const void* resource, std::size_t size) {
  if (!resource) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(resource);
  Reader reader(bytes, size);

  const bool extended = size >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF;
  std::uint32_t style = 0;
  std::size_t countOffset = 0;
  if (extended) {
    reader.Skip(4 + 4 + 4);  // version, signature, help id, extended style
    style = reader.Dword();
  } else {
    style = reader.Dword();
    reader.Skip(4);  // extended style
  }
  countOffset = reader.Offset();
  const std::uint16_t count = reader.Word();
  reader.Skip(4 * 2);      // x, y, cx, cy
  reader.NameOrOrdinal();  // menu
  reader.NameOrOrdinal();  // window class
  reader.String();         // title
  if (style & kDsSetFont) {
    reader.Word();                         // point size
    if (extended) reader.Skip(2 + 1 + 1);  // weight, italic, character set
    reader.String();                       // face
  }
  reader.AlignDword();
  if (!reader.Ok()) return std::nullopt;

  // The header ends on a DWORD boundary, which may lie past the resource's
  // last byte: the padding is zeros, not whatever follows in memory.
  std::vector<std::uint8_t> out(bytes, bytes + std::min(reader.Offset(), size));
  out.resize(reader.Offset(), 0);
  std::uint16_t kept = 0;
  for (std::uint16_t item = 0; item < count; ++item) {
    const std::size_t start = reader.Offset();
    reader.Skip(extended ? 4 + 4 + 4 + 4 * 2 + 4 : 4 + 4 + 4 * 2 + 2);
    const bool activeX = reader.NameOrOrdinal();
    reader.NameOrOrdinal();      // title
    reader.Skip(reader.Word());  // creation data and its byte count
    if (!reader.Ok()) return std::nullopt;
    const std::size_t end = reader.Offset();
    reader.AlignDword();
    if (activeX) continue;
    out.insert(out.end(), bytes + start, bytes + end);
    out.resize((out.size() + 3) & ~std::size_t{3}, 0);
    ++kept;
  }
  std::memcpy(out.data() + countOffset, &kept, 2);

  DialogTemplate aligned((out.size() + 3) / 4, 0);
  std::memcpy(aligned.data(), out.data(), out.size());
  return aligned;
}

}  // namespace ui::win32
