#include "ui/CommandLine.h"

namespace ui {

std::vector<std::string> SplitCommandLine(const std::string& arguments) {
  std::vector<std::string> result;
  std::size_t i = 0;
  const std::size_t n = arguments.size();
  auto blank = [&](std::size_t at) { return arguments[at] == ' ' || arguments[at] == '\t'; };
  while (true) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      if (arguments[i] == '\\') {
        std::size_t slashes = 0;
        while (i < n && arguments[i] == '\\') ++slashes, ++i;
        if (i < n && arguments[i] == '"') {
          argument.append(slashes / 2, '\\');
          if (slashes % 2) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(slashes, '\\');
        }
      } else if (arguments[i] == '"') {
        if (quoted && i + 1 < n && arguments[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += arguments[i++];
      }
    }
    result.push_back(std::move(argument));
  }
  return result;
}

}  // namespace ui
