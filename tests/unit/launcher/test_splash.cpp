#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "core/ResourceIds.h"
#include "launcher/CControllersDlg.h"
#include "launcher/CKQVClientDlg.h"
#include "launcher/SplashLayout.h"

namespace {

ui::PixelImage Picture(int width, int height, std::vector<std::uint8_t> bgra = {}) {
  ui::PixelImage image{width, height, 32, width * 4, std::move(bgra)};
  image.pixels.resize(static_cast<std::size_t>(width) * height * 4, 0x80);
  return image;
}

TEST(SplashLayoutTest, PositionFollowsTheScreenSize) {
  const struct {
    ui::Size screen;
    ui::Size picture;
    ui::Point expected;
  } cases[] = {
      {{1920, 1080}, {1357, 852}, {118, 19}},
      {{1366, 768}, {1357, 852}, {-158, -137}},
      {{2560, 1440}, {1357, 852}, {438, 199}},
      {{1357, 852}, {1357, 852}, {-163, -95}},
      // Truncation toward zero, not floor: -327 / 2 is -163.
      {{1358, 852}, {1357, 852}, {-162, -95}},
      {{1920, 1080}, {0, 0}, {797, 445}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplashPosition(c.screen, c.picture), c.expected) << c.screen.cx << "x" << c.screen.cy;
  }
}

TEST(SplashLayoutTest, PremultiplyTruncatesEachColourByAlpha) {
  const struct {
    std::uint8_t b, g, r, a;
    std::uint8_t eb, eg, er;
  } cases[] = {
      {50, 100, 200, 128, 25, 50, 100}, {50, 100, 200, 255, 50, 100, 200}, {50, 100, 200, 0, 0, 0, 0},
      {255, 255, 255, 1, 1, 1, 1},      {254, 1, 128, 254, 253, 0, 127},
  };
  for (const auto& c : cases) {
    ui::PixelImage image = Picture(1, 1, {c.b, c.g, c.r, c.a});
    PremultiplyAlpha(image);
    EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{c.eb, c.eg, c.er, c.a}));
  }
}

TEST(SplashLayoutTest, PremultiplyLeavesOtherDepthsAndRowPaddingAlone) {
  ui::PixelImage rgb{1, 1, 24, 4, {10, 20, 30, 0}};
  PremultiplyAlpha(rgb);
  EXPECT_EQ(rgb.pixels, (std::vector<std::uint8_t>{10, 20, 30, 0}));

  // Two pixels per row, one padding pixel at the end of each row.
  ui::PixelImage padded{2, 2, 32, 12, std::vector<std::uint8_t>(24, 200)};
  PremultiplyAlpha(padded);
  EXPECT_EQ(padded.pixels[8], 200) << "padding is not a pixel";
  EXPECT_EQ(padded.pixels[12], 200 * 200 / 255);
}

class SplashTest : public ::testing::Test {
 protected:
  SplashTest() {
    g_bOverlayCreated = false;
    platform.AddPng(res::kSplashPicture, Picture(1357, 852, {50, 100, 200, 128}));
  }

  fake::FakePlatform platform;
};

TEST_F(SplashTest, InitialisationShowsThePremultipliedPictureAtItsPlace) {
  CKQVClientDlg splash;
  ASSERT_TRUE(splash.Create(nullptr));
  auto& peer = fake::PeerOf(splash);
  EXPECT_EQ(peer.bigIcon, res::kAppIcon);
  EXPECT_EQ(peer.smallIcon, res::kAppIcon);
  EXPECT_TRUE(peer.layered);
  ASSERT_EQ(peer.layeredUpdates, 1);
  EXPECT_EQ(peer.layeredImage.width, 1357);
  EXPECT_EQ(peer.layeredImage.height, 852);
  EXPECT_EQ((std::vector<std::uint8_t>(peer.layeredImage.pixels.begin(), peer.layeredImage.pixels.begin() + 4)),
            (std::vector<std::uint8_t>{25, 50, 100, 128}));
  EXPECT_EQ(peer.WindowRect(), ui::Rect::FromXYWH(118, 19, 1357, 852));

  ASSERT_NE(splash.Overlay(), nullptr);
  auto& overlay = fake::PeerOf(*splash.Overlay());
  EXPECT_EQ(overlay.templateId, res::kOverlayDialog);
  EXPECT_EQ(overlay.owner, &peer);
  EXPECT_TRUE(overlay.visible);
  EXPECT_EQ(overlay.WindowRect(), peer.WindowRect()) << "placing the splash brings the overlay along";
}

TEST_F(SplashTest, TheOverlayIsCreatedHiddenDuringCreationBeforeInitialisation) {
  CKQVClientDlg splash;
  splash.Create(nullptr);
  auto& overlay = fake::PeerOf(*splash.Overlay());
  // The overlay initialised (colour key, defaults) while the splash was
  // being created, and was shown only by the splash's own initialisation.
  EXPECT_TRUE(overlay.colorKey.has_value());
  const auto& log = overlay.log;
  const auto show = std::find(log.begin(), log.end(), "show 5");
  ASSERT_NE(show, log.end());
  EXPECT_LT(std::find(log.begin(), log.end(), "initdialog"), show);
}

TEST_F(SplashTest, AMissingPictureLeavesAnEmptyWindow) {
  fake::FakePlatform bare;
  CKQVClientDlg splash;
  splash.Create(nullptr);
  auto& peer = fake::PeerOf(splash);
  EXPECT_EQ(peer.layeredUpdates, 0);
  EXPECT_EQ(peer.WindowRect().Width(), 0);
  EXPECT_EQ(peer.WindowRect().Height(), 0);
}

TEST_F(SplashTest, TheOverlayFollowsEveryMoveToTheSameRectangle) {
  CKQVClientDlg splash;
  splash.Create(nullptr);
  auto& peer = fake::PeerOf(splash);
  auto& overlay = fake::PeerOf(*splash.Overlay());
  for (ui::Point step : {ui::Point{130, 25}, ui::Point{-40, 300}, ui::Point{131, 25}}) {
    overlay.log.clear();
    peer.SendMove(ui::Rect::FromXYWH(step.x, step.y, 1357, 852));
    EXPECT_EQ(overlay.WindowRect(), peer.WindowRect());
    EXPECT_EQ(overlay.log, (std::vector<std::string>{"move", "invalidate"})) << "repaint, no erase";
  }
}

TEST_F(SplashTest, TheOverlayIsCreatedOncePerProcess) {
  CKQVClientDlg first;
  first.Create(nullptr);
  CKQVClientDlg second;
  second.Create(nullptr);
  EXPECT_NE(first.Overlay(), nullptr);
  EXPECT_EQ(second.Overlay(), nullptr);
  EXPECT_EQ(platform.Windows(res::kOverlayDialog).size(), 1u);
  // Moving the second launcher is harmless without an overlay.
  fake::PeerOf(second).SendMove(ui::Rect::FromXYWH(5, 5, 1357, 852));
}

TEST_F(SplashTest, ClientHitsBecomeCaptionHitsAndOthersStay) {
  CKQVClientDlg splash;
  splash.Create(nullptr);
  auto& peer = fake::PeerOf(splash);
  const struct {
    ui::Hit platformAnswer;
    ui::Hit expected;
  } cases[] = {
      {ui::Hit::Client, ui::Hit::Caption},          {ui::Hit::Nowhere, ui::Hit::Nowhere},
      {ui::Hit::Transparent, ui::Hit::Transparent}, {ui::Hit::Caption, ui::Hit::Caption},
      {ui::Hit::BottomRight, ui::Hit::BottomRight},
  };
  for (const auto& c : cases) EXPECT_EQ(peer.SendHitTest({500, 500}, c.platformAnswer), c.expected);
}

TEST_F(SplashTest, ReturnAndEscapeAreSwallowedOtherKeysPassOn) {
  CKQVClientDlg splash;
  platform.onModal[res::kSplashDialog] = [](fake::FakeWindowPeer& peer) {
    EXPECT_TRUE(peer.SendKeyDown(ui::kVkReturn));
    EXPECT_TRUE(peer.SendKeyDown(ui::kVkEscape));
    EXPECT_FALSE(peer.SendKeyDown('A'));
    EXPECT_FALSE(peer.modalResult.has_value()) << "neither key ended the launcher";
  };
  EXPECT_EQ(splash.DoModal(), fake::kModalNotEnded);
}

TEST_F(SplashTest, WithoutTheFilterTheDialogManagerWouldEndADialog) {
  // The same keys end a plain dialog: the filter above is what keeps the
  // launcher open.
  const struct {
    unsigned key;
    int result;
  } cases[] = {{ui::kVkReturn, ui::kIdOk}, {ui::kVkEscape, ui::kIdCancel}};
  for (const auto& c : cases) {
    ui::Dialog plain(res::kSplashDialog);
    platform.onModal[res::kSplashDialog] = [&](fake::FakeWindowPeer& peer) { peer.SendKeyDown(c.key); };
    EXPECT_EQ(plain.DoModal(), c.result);
  }
}

TEST_F(SplashTest, TheDragIconIsTheApplicationIcon) {
  CKQVClientDlg splash;
  EXPECT_EQ(splash.OnQueryDragIcon(), res::kAppIcon);
}

}  // namespace
