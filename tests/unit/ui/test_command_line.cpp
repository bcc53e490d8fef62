#include <gtest/gtest.h>

#include "ui/CommandLine.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsByWindowsRules) {
  const struct {
    std::string text;
    Args expected;
  } cases[] = {
      {"", {}},
      {" \t ", {}},
      {" p http://a/b?x=1&y=2", {"p", "http://a/b?x=1&y=2"}},
      {"a\t b  c", {"a", "b", "c"}},
      {R"("two words" x)", {"two words", "x"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"("")", {""}},
      {R"(a\b c\\d)", {R"(a\b)", R"(c\\d)"}},
      {R"(a\"b)", {R"(a"b)"}},
      {R"(a\\"b c")", {R"(a\b c)"}},
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("a""b")", {R"(a"b)"}},
      {R"("unclosed quote)", {"unclosed quote"}},
      {"'single' $HOME", {"'single'", "$HOME"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::SplitCommandLine(c.text), c.expected) << c.text;
}

}  // namespace
