#include "gamewnd/FileVersionString.h"

#include <cstdio>
#include <new>

#include "ui/Platform.h"

namespace {

// The path is read into 200 characters, its terminator included: a longer
// one is cut and names no file.
constexpr std::size_t kPathCapacity = 200;

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t count = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace

std::string GetFileVersionString() {
  ui::Platform& platform = ui::GetPlatform();
  const std::string path = platform.ModulePath();
  if (CharacterCount(path) >= kPathCapacity) return "error";
  try {
    const std::unique_ptr<ui::VersionData> data = platform.ReadVersionData(path);
    if (!data) return "error";
    std::string result;
    const auto table = data->Query("\\VarFileInfo\\Translation");
    const std::size_t entries = table ? table->size() / 4 : 0;
    for (std::size_t i = 0; i < entries; ++i) {
      const std::uint8_t* entry = table->data() + i * 4;
      const unsigned language = entry[0] | entry[1] << 8;
      const unsigned codePage = entry[2] | entry[3] << 8;
      char subBlock[64];
      std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\FileVersion", language, codePage);
      if (const auto value = data->Query(subBlock)) result.append(value->begin(), value->end());
    }
    return result;
  } catch (const std::bad_alloc&) {
    return "error";
  }
}
