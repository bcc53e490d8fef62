#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// A title or label is laid out again at every repaint, hover changes
// included, and a page decides its length. No more than this many characters
// of one are ever laid out; a window keeps its whole text all the same.
inline constexpr std::size_t kMaxLaidOutChars = 512;
// A caption button's label wraps, and wrapping text without break points
// costs far more than a line of it: a button shows two lines at most.
inline constexpr std::size_t kMaxLabelChars = 64;

// The first maxChars characters of UTF-8 text, never cut inside a character.
std::string_view LaidOutPart(std::string_view text, std::size_t maxChars = kMaxLaidOutChars);

// Page text made safe to put beside the client's own text in one title or
// label: direction marks the page opened are closed inside it, closing marks
// it never opened are dropped, and the whole is a first-strong isolate
// (U+2068 ... U+2069), so nothing in it reorders what comes before or after.
// Empty text stays empty.
std::string IsolatePageText(std::string_view text);

}  // namespace ui
