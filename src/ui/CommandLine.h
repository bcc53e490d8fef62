#pragma once

#include <string>
#include <vector>

namespace ui {

// Splits the arguments of a command line (the text after the program's
// name) the way Windows programs do: blanks separate arguments outside
// double quotes; 2n backslashes before a quote give n backslashes and the
// quote opens or closes a quoted part; 2n+1 give n and a literal quote; other
// backslashes stand as they are; two quotes inside a quoted part give one.
std::vector<std::string> SplitCommandLine(const std::string& arguments);

}  // namespace ui
