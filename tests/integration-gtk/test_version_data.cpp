// The version data of Linux executables: an ELF section holding the block
// Windows' version API reads, read from the file on disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gamewnd/FileVersionString.h"
#include "platform/gtk/VersionBlock.h"
#include "ui/Platform.h"

namespace kqvtest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Text(const std::optional<Bytes>& bytes) { return bytes ? std::string(bytes->begin(), bytes->end()) : "-"; }

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Utf16(const std::u16string& text) {
  Bytes bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

// One node of a version block, laid out as Windows' resource compiler does.
Bytes Node(const std::u16string& key, const Bytes& value, int valueLength, bool text,
           const std::vector<Bytes>& children = {}) {
  Bytes node{0,
             0,
             static_cast<std::uint8_t>(valueLength & 0xFF),
             static_cast<std::uint8_t>(valueLength >> 8),
             static_cast<std::uint8_t>(text ? 1 : 0),
             0};
  const Bytes k = Utf16(key + u'\0');
  node.insert(node.end(), k.begin(), k.end());
  auto pad = [&node] { node.resize((node.size() + 3) & ~std::size_t{3}, 0); };
  pad();
  node.insert(node.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    pad();
    node.insert(node.end(), child.begin(), child.end());
  }
  node[0] = static_cast<std::uint8_t>(node.size() & 0xFF);
  node[1] = static_cast<std::uint8_t>(node.size() >> 8);
  return node;
}

Bytes String(const std::u16string& key, const std::u16string& value) {
  return Node(key, Utf16(value + u'\0'), static_cast<int>(value.size() + 1), true);
}

TEST(VersionDataTest, TheExecutableCarriesItsVersionDataAndItIsReadFromTheFile) {
  const std::string self = ui::GetPlatform().ModulePath();
  const auto data = ui::GetPlatform().ReadVersionData(self);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->Query("\\VarFileInfo\\Translation"), (Bytes{0x04, 0x08, 0xb0, 0x04}));
  EXPECT_EQ(Text(data->Query("\\StringFileInfo\\080404b0\\FileVersion")), KQV_PROJECT_VERSION);
  EXPECT_EQ(Text(data->Query("\\StringFileInfo\\080404b0\\FileDescription")), "Qelunar 游戏客户端");
  EXPECT_EQ(GetFileVersionString(), KQV_PROJECT_VERSION);

  // A copy changed on disk answers with the change: nothing is kept from
  // the running image.
  const fs::path copy = fs::temp_directory_path() / ("kqv-version-" + std::to_string(getpid()));
  Bytes file = ReadFile(self);
  const std::string project = KQV_PROJECT_VERSION;
  const Bytes version = Utf16(std::u16string(project.begin(), project.end()) + u'\0');
  const Bytes changed = Utf16(std::u16string(u"9.8.7.6") + u'\0');
  ASSERT_EQ(version.size(), changed.size());
  const auto section = ui::gtk::ReadElfSection(self, ui::gtk::kVersionSection);
  ASSERT_TRUE(section);
  const auto start = std::search(file.begin(), file.end(), section->begin(), section->end());
  ASSERT_NE(start, file.end());
  const auto end = start + static_cast<std::ptrdiff_t>(section->size());
  int replaced = 0;
  for (auto at = std::search(start, end, version.begin(), version.end()); at != end;
       at = std::search(at + 1, end, version.begin(), version.end()), ++replaced) {
    std::copy(changed.begin(), changed.end(), at);
  }
  EXPECT_EQ(replaced, 2);  // FileVersion and ProductVersion
  WriteFile(copy, file);
  const auto changedData = ui::GetPlatform().ReadVersionData(copy.string());
  ASSERT_TRUE(changedData);
  EXPECT_EQ(Text(changedData->Query("\\StringFileInfo\\080404b0\\FileVersion")), "9.8.7.6");

  // Files without version data.
  WriteFile(copy, Bytes(file.begin(), file.begin() + 64));  // only the ELF header
  EXPECT_FALSE(ui::GetPlatform().ReadVersionData(copy.string()));
  WriteFile(copy, Bytes{'#', '!', '/', 'b', 'i', 'n'});
  EXPECT_FALSE(ui::GetPlatform().ReadVersionData(copy.string()));
  fs::remove(copy);
  EXPECT_FALSE(ui::GetPlatform().ReadVersionData(copy.string()));
  EXPECT_FALSE(ui::GetPlatform().ReadVersionData("/bin/true"));  // an ELF file without the section
}

TEST(VersionDataTest, QueriesWalkTheBlockByPathWithoutRegardToCase) {
  const Bytes fixed(52, 0);
  const Bytes block =
      Node(u"VS_VERSION_INFO", fixed, 52, false,
           {Node(u"StringFileInfo", {}, 0, true,
                 {Node(u"080404b0", {}, 0, true, {String(u"FileVersion", u"1.0.0.1"), String(u"Comments", u"版本")}),
                  Node(u"040904e4", {}, 0, true, {String(u"FileVersion", u"2.0")})}),
            Node(u"VarFileInfo", {}, 0, true,
                 {Node(u"Translation", {0x04, 0x08, 0xb0, 0x04, 0x09, 0x04, 0xe4, 0x04}, 8, false)})});
  const ui::gtk::VersionBlock data(block);
  struct Case {
    const char* path;
    std::string expected;  // "-" for nothing
  };
  const Case cases[] = {
      {"\\StringFileInfo\\080404b0\\FileVersion", "1.0.0.1"},
      {"\\stringfileinfo\\080404B0\\fileversion", "1.0.0.1"},
      {"\\StringFileInfo\\080404b0\\Comments", "版本"},
      {"\\StringFileInfo\\040904e4\\FileVersion", "2.0"},
      {"\\StringFileInfo\\040904e4\\Comments", "-"},
      {"\\StringFileInfo\\0804", "-"},
      {"\\Missing", "-"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(data.Query(c.path)), c.expected) << c.path;
  EXPECT_EQ(data.Query("\\VarFileInfo\\Translation")->size(), 8u);
  EXPECT_EQ(data.Query("\\")->size(), 52u);

  // Cut short anywhere, it answers nothing rather than reading past its end.
  for (std::size_t size = 0; size < block.size(); size += 7) {
    const ui::gtk::VersionBlock cut(Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size)));
    const auto value = cut.Query("\\StringFileInfo\\040904e4\\FileVersion");
    EXPECT_TRUE(!value || Text(value) == "2.0" || Text(value).size() < 3) << size;
  }
}

}  // namespace
}  // namespace kqvtest
