#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace ui::gtk {

// Bounds of one request. The defaults are what the client uses; tests pass
// smaller ones so that a stalled server costs them a second, not half a minute.
struct HttpLimits {
  std::chrono::milliseconds connectTimeout{10'000};  // TCP (and TLS) connection set-up
  std::chrono::milliseconds totalTimeout{30'000};    // the whole request, body included
  std::size_t maxBodyBytes = 1024 * 1024;            // larger bodies count as a failed read
};

// Blocking GET with libcurl. Proxies come from the usual environment
// variables (http_proxy, https_proxy, no_proxy...), as libcurl reads them.
// readBody true: the body with every CR and LF byte removed, whatever the
// status; empty on any failure (no connection, timeout, body over the cap).
// readBody false: the request is sent and its response headers awaited, the
// body is not read, and the answer is always empty.
std::string CurlHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                        const HttpLimits& limits = {});

}  // namespace ui::gtk
