#include "ui/Browser.h"

#include <cctype>

#include "ui/Platform.h"

namespace ui {

namespace {

bool EqualsIgnoringCase(const std::string& text, const char* lower) {
  std::size_t i = 0;
  for (; lower[i]; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  }
  return i == text.size();
}

}  // namespace

bool LeavesForSystemBrowser(const std::string& address) {
  // Blanks and control characters have no place in an address the engine
  // reports; one that has them is not passed on.
  for (const char c : address) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  const std::size_t colon = address.find(':');
  if (colon == std::string::npos) return false;
  const std::string scheme = address.substr(0, colon);
  if (!EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) return false;
  if (address.compare(colon + 1, 2, "//") != 0) return false;
  const std::size_t authority = colon + 3;
  std::size_t end = address.find_first_of("/?#\\", authority);
  if (end == std::string::npos) end = address.size();
  // A host after any user part.
  const std::size_t at = address.rfind('@', end);
  const std::size_t host = at != std::string::npos && at >= authority ? at + 1 : authority;
  return host < end && address[host] != ':';
}

void OpenNewWindowOutside(const std::string& address) {
  if (LeavesForSystemBrowser(address)) GetPlatform().OpenInSystemBrowser(address);
}

}  // namespace ui
