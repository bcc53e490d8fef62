// How much of a page's text is laid out, and how it is kept apart from the
// client's own text.
#include <gtest/gtest.h>

#include <string>

#include "ui/PageText.h"

namespace {

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(PageTextTest, AtMostTheFirstCharactersAreLaidOutNeverCutInsideOne) {
  const std::size_t n = ui::kMaxLaidOutChars;
  struct Case {
    const char* name;
    std::string text;
    std::string laidOut;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"short", "仙境 - 一服", "仙境 - 一服"},
      {"exactly the bound", Repeat("a", n), Repeat("a", n)},
      {"one over, ASCII", Repeat("a", n + 1), Repeat("a", n)},
      {"64 KB without a break", Repeat("x", 65536), Repeat("x", n)},
      {"three-byte characters", Repeat("通", n + 7), Repeat("通", n)},
      {"four-byte characters", Repeat("\U0001F600", n + 1), Repeat("\U0001F600", n)},
      // The bound falls right after a lead byte: the whole character goes.
      {"mixed widths", Repeat("a", n - 1) + "通話", Repeat("a", n - 1) + "通"},
      // Stray continuation bytes belong to the character before them.
      {"invalid bytes", Repeat("a", n - 1) + "b\x80\x80" + "c", Repeat("a", n - 1) + "b\x80\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::LaidOutPart(c.text), c.laidOut);
  }
  EXPECT_EQ(ui::LaidOutPart("小美正在", 2), "小美");
  EXPECT_EQ(ui::LaidOutPart("小美", 0), "");
}

TEST(PageTextTest, PageTextIsAnIsolateWithItsOwnMarksBalanced) {
  const std::string fsi = "\u2068", pdi = "\u2069", pdf = "\u202C";
  const std::string rlo = "\u202E", lre = "\u202A", rli = "\u2067", lri = "\u2066";
  struct Case {
    const char* name;
    std::string page;
    std::string isolated;
  };
  const Case cases[] = {
      {"empty stays empty", "", ""},
      {"plain", "小美", fsi + "小美" + pdi},
      {"right-to-left letters", "שלום", fsi + "שלום" + pdi},
      {"an override left open is closed", rlo + "小美", fsi + rlo + "小美" + pdf + pdi},
      {"a closed override stays as it is", rlo + "ab" + pdf + "c", fsi + rlo + "ab" + pdf + "c" + pdi},
      {"open embeddings closed innermost first", lre + "a" + rlo + "b", fsi + lre + "a" + rlo + "b" + pdf + pdf + pdi},
      {"an isolate left open is closed", rli + "ab", fsi + rli + "ab" + pdi + pdi},
      {"an isolate closes what was opened inside it", lri + rlo + "a" + pdi + "b",
       fsi + lri + rlo + "a" + pdi + "b" + pdi},
      // A closing isolate the page never opened would end ours early.
      {"a stray isolate close is dropped", "a" + pdi + rlo + "b", fsi + "a" + rlo + "b" + pdf + pdi},
      {"a stray embedding close is kept", pdf + "a", fsi + pdf + "a" + pdi},
      // A PDF does not close an embedding from outside the isolate it is in.
      {"an embedding close inside an isolate", rlo + rli + pdf + "a", fsi + rlo + rli + pdf + "a" + pdi + pdf + pdi},
      {"other three-byte characters pass", "\u2067\u2069\u202D\u202C", fsi + "\u2067\u2069\u202D\u202C" + pdi},
      {"truncated mark at the end", "a\xE2\x81", fsi + "a\xE2\x81" + pdi},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::IsolatePageText(c.page), c.isolated);
  }
}

}  // namespace
