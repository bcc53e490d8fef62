#pragma once
// Text of addresses and reports: UTF-8 and UTF-16, addresses resolved
// against a page's own, and the two percent-encodings a page uses.

#include <string>
#include <utility>
#include <vector>

namespace standin {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// An address relative to base (absolute, "/path", "?query", "#…" or a path
// beside the base's own); an absolute address stays as it is.
std::string ResolveUrl(const std::string& base, const std::string& address);
// "scheme://host[:port]" of an absolute address; empty for another.
std::string Origin(const std::string& address);

// Every byte but the unreserved ones as %XX, as a query value.
std::string PercentEncode(const std::string& text);
// name=value pairs joined by '&', spaces as '+', as a form posts them.
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);

// An HRESULT as reports give it: "0x0", "0x80004001".
std::string HexResult(long result);

}  // namespace standin
