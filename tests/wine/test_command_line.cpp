// The system's command-line splitting against the system's own
// CommandLineToArgvW, on the arguments after the program's name.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/win32/Text.h"
#include "ui/CommandLine.h"

namespace {

std::vector<std::string> SystemSplit(const std::string& arguments) {
  const std::wstring line = L"prog.exe " + ui::win32::Widen(arguments);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::string> result;
  if (!argv) return result;
  for (int i = 1; i < count; ++i) result.push_back(ui::win32::Narrow(argv[i]));
  LocalFree(argv);
  return result;
}

TEST(CommandLine, SplitsAsTheSystemDoes) {
  const struct {
    const char* line;
    std::vector<std::string> expected;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      // What the game client receives.
      {" p http://x/y?a=1&b=2", {"p", "http://x/y?a=1&b=2"}},
      {"a\tb \t c", {"a", "b", "c"}},
      {"  lead trail  ", {"lead", "trail"}},
      {"-url \"http://x/y?a=1&b=2\" -y", {"-url", "http://x/y?a=1&b=2", "-y"}},
      {"\"two words\" plain", {"two words", "plain"}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"tab\tinside\"", {"tab\tinside"}},
      {"\"unterminated quote", {"unterminated quote"}},
      // Backslashes count only before a quote.
      {"C:\\dir\\file.exe", {"C:\\dir\\file.exe"}},
      {"a\\\\b", {"a\\\\b"}},
      {"trailing\\", {"trailing\\"}},
      {"a\\\"b", {"a\"b"}},
      {"\"a\\\\\" b", {"a\\", "b"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"a\\\\\\\"b", {"a\\\"b"}},
      {"\"C:\\dir\\\\\"", {"C:\\dir\\"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"a\"\"\"", {"a\""}},
      {"\xE4\xB8\x93\xE5\x91\x98 \"\xE5\xB0\x8F \xE6\x98\x8E\"",
       {"\xE4\xB8\x93\xE5\x91\x98", "\xE5\xB0\x8F \xE6\x98\x8E"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("[") + c.line + "]");
    const auto system = SystemSplit(c.line);
    EXPECT_EQ(system, c.expected) << "the table disagrees with the system";
    EXPECT_EQ(ui::SplitCommandLine(c.line), system);
  }
}

}  // namespace
