#include <gtest/gtest.h>

#include <utility>

#include "FakePlatform.h"
#include "skin/ImageStore.h"

namespace {

using Load = std::pair<ui::ResourceType, int>;

class ImageStoreTest : public ::testing::Test {
 protected:
  ImageStoreTest() {
    platform.bitmaps[161] = {60, 20};
    platform.bitmaps[165] = {123, 20};
    platform.AddPng(164,
                    ui::PixelImage{.width = 594, .height = 229, .bitsPerPixel = 32, .pitch = 594 * 4, .pixels = {}});
  }

  fake::FakePlatform platform;
  ImageStore store;
};

TEST_F(ImageStoreTest, ABitmapIsConvertedOnceAndShared) {
  ui::Picture* first = store.GetImage(161);
  ui::Picture* second = store.GetImage(161);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Width(), 60);
  EXPECT_EQ(store.GetImage(165)->Width(), 123);
  EXPECT_EQ(platform.pictureLoads,
            (std::vector<Load>{{ui::ResourceType::Bitmap, 161}, {ui::ResourceType::Bitmap, 165}}));
}

TEST_F(ImageStoreTest, APngNumberIsDecodedAnewOnEveryRequestAndEveryCopyStaysUsable) {
  ui::Picture* first = store.GetImage(164);
  ui::Picture* second = store.GetImage(164);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->Width(), 594);  // the first is still alive after the second
  EXPECT_EQ(second->Height(), 229);
  EXPECT_EQ(platform.pictureLoads, (std::vector<Load>{{ui::ResourceType::Png, 164}, {ui::ResourceType::Png, 164}}));
}

TEST_F(ImageStoreTest, AMissingBitmapGivesAnEmptyPictureThatIsCachedToo) {
  ui::Picture* missing = store.GetImage(999);
  ASSERT_NE(missing, nullptr);
  EXPECT_FALSE(missing->Ok());
  EXPECT_EQ(missing->Width(), 0);
  EXPECT_EQ(missing->Height(), 0);
  EXPECT_EQ(store.GetImage(999), missing);
  EXPECT_EQ(platform.pictureLoads, (std::vector<Load>{{ui::ResourceType::Bitmap, 999}}));
}

TEST(ImageStoreKindTest, TheNumberAloneDecidesTheDecoder) {
  // The splash picture is a PNG too, but never goes through the store.
  for (const auto& [number, png] :
       {std::pair{161, false}, std::pair{162, false}, std::pair{163, false}, std::pair{165, false},
        std::pair{164, true}, std::pair{166, true}, std::pair{167, true}, std::pair{143, false}, std::pair{0, false}}) {
    EXPECT_EQ(ImageStore::IsPngNumber(number), png) << number;
  }
}

}  // namespace
