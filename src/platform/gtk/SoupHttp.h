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

// Blocking GET with libsoup, the HTTP library WebKitGTK already brings.
// Proxies come from the usual environment variables (http_proxy,
// https_proxy/HTTPS_PROXY, all_proxy/ALL_PROXY, no_proxy/NO_PROXY) and from
// nowhere else. Redirects are followed, at most 10, to http and https only.
// readBody true: the body with every CR and LF byte removed, whatever the
// status; empty on any failure (no connection, timeout, body over the cap).
// readBody false: the request is sent and its response headers awaited, the
// body is not read, and the answer is always empty.
// Runs its own main context meanwhile: no other event source of the thread
// is dispatched while it waits.
std::string SoupHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                        const HttpLimits& limits = {});

}  // namespace ui::gtk
