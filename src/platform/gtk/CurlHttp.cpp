#include "platform/gtk/CurlHttp.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>

namespace ui::gtk {
namespace {

struct Transfer {
  CURL* curl = nullptr;
  bool readBody = false;
  std::size_t maxBodyBytes = 0;
  std::size_t received = 0;  // raw body bytes, line breaks included
  bool overCap = false;
  bool locationSeen = false;  // in the current block of response headers
  std::string body;
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Without readBody the request ends once the final response's headers are in,
// as a URL opener that is never read from would; interim (1xx) answers and
// redirects that libcurl is about to follow do not count as final.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  const std::string_view line(data, length);
  if (StartsWithNoCase(line, "http/")) {
    t.locationSeen = false;
  } else if (StartsWithNoCase(line, "location:")) {
    t.locationSeen = true;
  } else if (line == "\r\n" || line == "\n") {
    if (!t.readBody) {
      long code = 0;
      curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &code);
      const bool interim = code >= 100 && code < 200;
      const bool followed = code >= 300 && code < 400 && t.locationSeen;
      if (!interim && !followed) return 0;  // stops the transfer; the answer stays unread
    }
  }
  return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  if (!t.readBody) return 0;
  t.received += length;
  if (t.received > t.maxBodyBytes) {
    t.overCap = true;
    return 0;
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (data[i] != '\r' && data[i] != '\n') t.body.push_back(data[i]);
  }
  return length;
}

bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

}  // namespace

std::string CurlHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                        const HttpLimits& limits) {
  if (!CurlReady()) return {};
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  std::unique_ptr<CURLU, UrlDeleter> address(curl_url());
  if (!curl || !address) return {};

  // The address goes out as the caller wrote it. A space cannot stand in an
  // HTTP request line, so it is the one byte sent escaped, as %20. An address
  // without a scheme is refused rather than guessed.
  std::string wire;
  wire.reserve(url.size());
  for (char ch : url) {
    if (ch == ' ')
      wire += "%20";
    else
      wire.push_back(ch);
  }
  if (curl_url_set(address.get(), CURLUPART_URL, wire.c_str(), 0) != CURLUE_OK) return {};

  Transfer t;
  t.curl = curl.get();
  t.readBody = readBody;
  t.maxBodyBytes = limits.maxBodyBytes;

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_CURLU, address.get());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);

  const CURLcode result = curl_easy_perform(c);
  if (!readBody || result != CURLE_OK || t.overCap) return {};
  return std::move(t.body);
}

}  // namespace ui::gtk
