// The resource table built into the Linux executable holds every file of res/
// byte for byte, and the version text of the project.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/EmbeddedResources.h"
#include "platform/gtk/VersionBlock.h"
#include "ui/Platform.h"

namespace {

using ui::ResourceType;
using ui::gtk::FindEmbeddedResource;
using ui::gtk::kEmbeddedResourceCount;
using ui::gtk::kEmbeddedResources;

struct FileCase {
  ResourceType type;
  int id;
  const char* file;  // under res/
};

const FileCase kFiles[] = {
    {ResourceType::Png, 143, "png/143.png"},    {ResourceType::Png, 164, "png/164.png"},
    {ResourceType::Png, 166, "png/166.png"},    {ResourceType::Png, 167, "png/167.png"},
    {ResourceType::Bitmap, 135, "bmp/135.bmp"}, {ResourceType::Bitmap, 151, "bmp/151.bmp"},
    {ResourceType::Bitmap, 153, "bmp/153.bmp"}, {ResourceType::Bitmap, 154, "bmp/154.bmp"},
    {ResourceType::Bitmap, 155, "bmp/155.bmp"}, {ResourceType::Bitmap, 156, "bmp/156.bmp"},
    {ResourceType::Bitmap, 157, "bmp/157.bmp"}, {ResourceType::Bitmap, 158, "bmp/158.bmp"},
    {ResourceType::Bitmap, 159, "bmp/159.bmp"}, {ResourceType::Bitmap, 160, "bmp/160.bmp"},
    {ResourceType::Bitmap, 161, "bmp/161.bmp"}, {ResourceType::Bitmap, 162, "bmp/162.bmp"},
    {ResourceType::Bitmap, 163, "bmp/163.bmp"}, {ResourceType::Bitmap, 165, "bmp/165.bmp"},
    {ResourceType::Icon, 7, "icon/7.ico"},
};

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedResources, HoldEveryResourceFileByteForByte) {
  for (const FileCase& c : kFiles) {
    SCOPED_TRACE(c.file);
    const std::vector<unsigned char> expected = ReadFile(std::string(KQV_RES_DIR) + "/" + c.file);
    ASSERT_FALSE(expected.empty());
    const ui::gtk::EmbeddedResource* r = FindEmbeddedResource(static_cast<int>(c.type), c.id);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, static_cast<int>(c.type));
    EXPECT_EQ(r->id, c.id);
    ASSERT_EQ(r->size, expected.size());
    EXPECT_EQ(std::memcmp(r->data, expected.data(), expected.size()), 0);
  }
}

TEST(EmbeddedResources, VersionIsTheVersionBlockInItsOwnSection) {
  const ui::gtk::EmbeddedResource* r = FindEmbeddedResource(static_cast<int>(ResourceType::Version), 1);
  ASSERT_NE(r, nullptr);
  const ui::gtk::VersionBlock block(std::vector<std::uint8_t>(r->data, r->data + r->size));
  const auto version = block.Query("\\StringFileInfo\\080404b0\\FileVersion");
  ASSERT_TRUE(version);
  EXPECT_EQ(std::string(version->begin(), version->end()), KQV_PROJECT_VERSION);
  // The same bytes are what a reader of the file finds.
  const auto section = ui::gtk::ReadElfSection("/proc/self/exe", ui::gtk::kVersionSection);
  ASSERT_TRUE(section);
  EXPECT_EQ(*section, std::vector<std::uint8_t>(r->data, r->data + r->size));
}

TEST(EmbeddedResources, LookupNeedsTypeAndNumberToMatch) {
  const std::pair<ResourceType, int> absent[] = {
      {ResourceType::Bitmap, 143},  // a PNG number asked for as a bitmap
      {ResourceType::Png, 161},     // a bitmap number asked for as a PNG
      {ResourceType::Icon, 1},     {ResourceType::Version, 7}, {ResourceType::Dialog, 102},
      {ResourceType::Bitmap, 152}, {ResourceType::Png, 0},
  };
  for (const auto& [type, id] : absent) {
    EXPECT_EQ(FindEmbeddedResource(static_cast<int>(type), id), nullptr) << static_cast<int>(type) << "/" << id;
  }
}

TEST(EmbeddedResources, TableHasOneEntryPerResource) {
  EXPECT_EQ(kEmbeddedResourceCount, std::size(kFiles) + 1);  // and the version
  std::set<std::pair<int, int>> keys;
  for (unsigned long i = 0; i < kEmbeddedResourceCount; ++i) {
    EXPECT_TRUE(keys.insert({kEmbeddedResources[i].type, kEmbeddedResources[i].id}).second);
  }
}

}  // namespace
