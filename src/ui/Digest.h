#pragma once

#include <string>
#include <string_view>

namespace ui {

// MD5 of the bytes as 32 lower-case hex digits. Each platform backs it with a
// maintained library (GLib, BCrypt).
std::string Md5Hex(std::string_view bytes);

}  // namespace ui
