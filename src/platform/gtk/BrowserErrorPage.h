#pragma once

#include <string>

namespace ui::gtk {

// Why the browser shows its own page instead of the one asked for.
enum class PageFault {
  LoadFailed,   // the address could not be loaded (no connection, refused, ...)
  Crashed,      // the page's process kept ending; reloading stopped
  OutOfMemory,  // the page's process went over its memory bound and was stopped
};

// The id of the retry button, and the script-message handler it posts to.
inline constexpr const char* kErrorPageRetryId = "kqv-retry";
inline constexpr const char* kErrorPageRetryHandler = "kqvRetry";

// A complete HTML document in Chinese, in the look of the platform's pages:
// what happened, the address, and a retry button that posts to
// kErrorPageRetryHandler. The address is shown as text, never as markup.
std::string ErrorPageHtml(PageFault fault, const std::string& address);

// The sentence that says what happened, as the page shows it.
const char* ErrorPageReason(PageFault fault);

}  // namespace ui::gtk
