#pragma once

#include <string>

#include "core/HttpLimits.h"

namespace ui::gtk {

// Blocking GET with libsoup, the HTTP library WebKitGTK already brings.
// Proxies come from the usual environment variables (http_proxy,
// https_proxy/HTTPS_PROXY, all_proxy/ALL_PROXY, no_proxy/NO_PROXY) and from
// nowhere else. Redirects are followed, at most 10, to http and https only.
// Bounds and body text as core/HttpLimits.h says.
// readBody true: the body with every CR and LF byte removed, whatever the
// status; empty on any failure (no connection, timeout, body over the cap).
// readBody false: the request is sent and its response headers awaited, the
// body is not read, and the answer is always empty.
// Runs its own main context meanwhile: no other event source of the thread
// is dispatched while it waits.
std::string SoupHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                        const HttpLimits& limits = {});

}  // namespace ui::gtk
