#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/HttpLimits.h"

namespace {

TEST(HttpLimits, DefaultsAreTheClientsBounds) {
  const HttpLimits limits;
  EXPECT_EQ(limits.connectTimeout.count(), 10'000);
  EXPECT_EQ(limits.totalTimeout.count(), 30'000);
  EXPECT_EQ(limits.maxBodyBytes, 1024u * 1024u);
}

// The body arrives in pieces that may split a CR LF pair; the text is the
// same however it is cut.
TEST(HttpBodyText, LeavesOutEveryCrAndLfWhereverThePiecesEnd) {
  const struct {
    std::vector<std::string> pieces;
    std::string text;
  } cases[] = {
      {{"ok\r\n"}, "ok"},
      {{"a\r", "\nb"}, "ab"},
      {{"a\r", "b"}, "ab"},
      {{"\r\n\n\r"}, ""},
      {{"\r\na\r\r", "\n\nb\n"}, "ab"},
      {{std::string("\tx\0y \xE4\xB8\xAD\xFF", 9)}, std::string("\tx\0y \xE4\xB8\xAD\xFF", 9)},
      {{"", "", ""}, ""},
      {{}, ""},
  };
  for (const auto& c : cases) {
    HttpBodyText body(1024);
    std::size_t raw = 0;
    for (const std::string& piece : c.pieces) {
      EXPECT_TRUE(body.Append(piece.data(), piece.size()));
      raw += piece.size();
    }
    EXPECT_EQ(body.Received(), raw);
    EXPECT_EQ(body.Take(), c.text);
  }
}

// Line breaks count against the cap although they are left out of the text.
TEST(HttpBodyText, FailsOnceTheRawBytesPassTheCap) {
  const struct {
    std::vector<std::string> pieces;
    bool fits;
  } cases[] = {
      {{"\r\n12345678"}, true},           {{"\r\n123456789"}, false}, {{"12345", "\r\n", "678"}, true},
      {{"12345", "\r\n", "6789"}, false}, {{"1234567890"}, true},
  };
  for (const auto& c : cases) {
    HttpBodyText body(10);
    bool fits = true;
    for (const std::string& piece : c.pieces) fits = body.Append(piece.data(), piece.size());
    EXPECT_EQ(fits, c.fits) << c.pieces.back();
  }
  const HttpBodyText body(10);
  EXPECT_FALSE(body.OverCap(10));
  EXPECT_TRUE(body.OverCap(11));
}

}  // namespace
