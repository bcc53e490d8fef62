#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/Platform.h"

namespace ui::gtk {

// The ELF section the build puts the version data in.
inline constexpr const char* kVersionSection = ".kqv_version";

// The bytes of a named section of an ELF file; nothing when the file cannot
// be read, is not a 64-bit little-endian ELF file, or has no such section.
std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path, const std::string& name);

// Version data in the layout Windows' version API reads: nodes of length,
// value length, type and a UTF-16 key, with their value and children on
// 32-bit boundaries. Queried by path as that API is, keys without regard to
// case: "\\" for the fixed part, "\\VarFileInfo\\Translation", and
// "\\StringFileInfo\\<language and code page>\\<name>" for texts (UTF-8 here).
class VersionBlock : public VersionData {
 public:
  explicit VersionBlock(std::vector<std::uint8_t> block) : m_block(std::move(block)) {}
  std::optional<std::vector<std::uint8_t>> Query(const std::string& subBlock) const override;

 private:
  std::vector<std::uint8_t> m_block;
};

}  // namespace ui::gtk
