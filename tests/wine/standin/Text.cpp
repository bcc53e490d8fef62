#include "Text.h"

#include <windows.h>

#include <cstdio>

namespace standin {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::string Origin(const std::string& address) {
  const size_t scheme = address.find("://");
  if (scheme == std::string::npos) return {};
  const size_t path = address.find_first_of("/?#", scheme + 3);
  return address.substr(0, path);
}

std::string ResolveUrl(const std::string& base, const std::string& address) {
  if (address.find("://") != std::string::npos) return address;
  const std::string origin = Origin(base);
  if (origin.empty() || address.empty()) return address.empty() ? base : address;
  if (address[0] == '/') return origin + address;
  const std::string withoutFragment = base.substr(0, base.find('#'));
  if (address[0] == '#') return withoutFragment + address;
  const std::string withoutQuery = withoutFragment.substr(0, withoutFragment.find('?'));
  if (address[0] == '?') return withoutQuery + address;
  // Beside the base's own file: its folder, then the address, with "./" and
  // "../" taken out.
  std::string path = withoutQuery.substr(origin.size());
  path = path.empty() ? "/" : path.substr(0, path.rfind('/') + 1);
  std::string rest = address;
  for (;;) {
    if (rest.compare(0, 2, "./") == 0) {
      rest.erase(0, 2);
    } else if (rest.compare(0, 3, "../") == 0) {
      rest.erase(0, 3);
      if (path.size() > 1) path = path.substr(0, path.rfind('/', path.size() - 2) + 1);
    } else {
      break;
    }
  }
  return origin + path + rest;
}

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

std::string Encode(const std::string& text, bool spaceAsPlus) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (Unreserved(c)) {
      out += static_cast<char>(c);
    } else if (c == ' ' && spaceAsPlus) {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string PercentEncode(const std::string& text) { return Encode(text, false); }

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += Encode(name, true) + '=' + Encode(value, true);
  }
  return out;
}

std::string HexResult(long result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(result));
  return text;
}

}  // namespace standin
