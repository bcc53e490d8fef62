#pragma once
// The program keeps its texts in UTF-8; the wide Windows calls take UTF-16.

#include <string>
#include <string_view>

namespace ui::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace ui::win32
