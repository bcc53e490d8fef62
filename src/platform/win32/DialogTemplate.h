#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace ui::win32 {

// A dialog template as the dialog manager takes it, DWORD-aligned in memory.
using DialogTemplate = std::vector<std::uint32_t>;

// The template without its ActiveX controls (items whose class is a class
// id in braces). The dialog manager cannot create those and would fail the
// whole dialog; the window that declares one makes its control itself.
// Classic and extended templates; nothing when the bytes are not a template.
std::optional<DialogTemplate> WithoutActiveXControls(const void* resource, std::size_t size);

}  // namespace ui::win32
