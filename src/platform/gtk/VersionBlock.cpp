#include "platform/gtk/VersionBlock.h"

#include <elf.h>
#include <glib.h>

#include <cstring>
#include <fstream>

namespace ui::gtk {

std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path, const std::string& name) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  auto readAt = [&file](std::uint64_t offset, void* into, std::size_t size) {
    file.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(file.read(static_cast<char*>(into), static_cast<std::streamsize>(size)));
  };
  Elf64_Ehdr header{};
  if (!readAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
      header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum) {
    return std::nullopt;
  }
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!readAt(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) return std::nullopt;
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  std::vector<char> table(names.sh_size + 1, '\0');
  if (!readAt(names.sh_offset, table.data(), names.sh_size)) return std::nullopt;
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_name >= names.sh_size || name != &table[section.sh_name]) continue;
    if (section.sh_type == SHT_NOBITS || section.sh_size > (16u << 20)) return std::nullopt;
    std::vector<std::uint8_t> bytes(section.sh_size);
    if (!readAt(section.sh_offset, bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

namespace {

struct Node {
  std::size_t end;  // one past the node
  std::u16string key;
  std::size_t value;      // where the value starts
  std::size_t valueSize;  // in bytes
  bool text;
  std::size_t children;  // where the first child starts
};

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

std::uint16_t Word(const std::vector<std::uint8_t>& data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

// The node at `at`, within `limit`; nothing when it does not fit.
std::optional<Node> ReadNode(const std::vector<std::uint8_t>& data, std::size_t at, std::size_t limit) {
  if (at + 6 > limit) return std::nullopt;
  const std::size_t length = Word(data, at);
  if (length < 6 || at + length > limit) return std::nullopt;
  Node node{at + length, {}, 0, 0, Word(data, at + 4) == 1, 0};
  std::size_t k = at + 6;
  for (; k + 1 < node.end && Word(data, k) != 0; k += 2) node.key.push_back(static_cast<char16_t>(Word(data, k)));
  node.value = std::min(Align4(k + 2), node.end);
  const std::size_t valueLength = Word(data, at + 2);
  node.valueSize = std::min(node.text ? valueLength * 2 : valueLength, node.end - node.value);
  node.children = std::min(Align4(node.value + node.valueSize), node.end);
  return node;
}

bool SameKey(const std::u16string& key, const std::string& part) {
  if (key.size() != part.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (key[i] > 0x7F || g_ascii_tolower(static_cast<char>(key[i])) != g_ascii_tolower(part[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> VersionBlock::Query(const std::string& subBlock) const {
  std::optional<Node> node = ReadNode(m_block, 0, m_block.size());
  if (!node) return std::nullopt;
  std::size_t start = 0;
  while (node) {
    while (start < subBlock.size() && subBlock[start] == '\\') ++start;
    if (start >= subBlock.size()) break;
    std::size_t stop = subBlock.find('\\', start);
    if (stop == std::string::npos) stop = subBlock.size();
    const std::string part = subBlock.substr(start, stop - start);
    start = stop;
    std::optional<Node> found;
    for (std::size_t child = node->children; child < node->end;) {
      std::optional<Node> candidate = ReadNode(m_block, child, node->end);
      if (!candidate) break;
      if (SameKey(candidate->key, part)) {
        found = candidate;
        break;
      }
      child = Align4(candidate->end);
    }
    node = found;
  }
  if (!node) return std::nullopt;
  if (!node->text) {
    return std::vector<std::uint8_t>(m_block.begin() + static_cast<std::ptrdiff_t>(node->value),
                                     m_block.begin() + static_cast<std::ptrdiff_t>(node->value + node->valueSize));
  }
  // Texts are UTF-16 with their terminator counted.
  std::u16string text;
  for (std::size_t i = node->value; i + 1 < node->value + node->valueSize + 1 && i + 1 < node->end; i += 2) {
    const char16_t c = static_cast<char16_t>(Word(m_block, i));
    if (c == 0) break;
    text.push_back(c);
  }
  gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.data()), static_cast<glong>(text.size()),
                                nullptr, nullptr, nullptr);
  if (!utf8) return std::nullopt;
  std::vector<std::uint8_t> bytes(utf8, utf8 + std::strlen(utf8));
  g_free(utf8);
  return bytes;
}

}  // namespace ui::gtk
