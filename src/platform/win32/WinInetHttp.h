#pragma once

#include <string>

#include "core/HttpLimits.h"

namespace ui::win32 {

// Blocking GET with WinINet: a session with the system's preconfigured proxy
// settings and userAgent, an http or https address opened with
// INTERNET_FLAG_TRANSFER_ASCII and context 1, the body read with
// InternetReadFile. Bounds and body text as core/HttpLimits.h says.
// readBody true: the body with every CR and LF byte removed, whatever the
// status; empty on any failure (no connection, timeout, a body shorter than
// its Content-Length, a body over the cap or announced as over it).
// readBody false: the request is sent and its response awaited, the body is
// not read, and the answer is always empty.
// A connection whose body is not read to its end is dropped, never drained.
std::string WinInetHttpGet(const std::string& url, bool readBody, const std::string& userAgent,
                           const HttpLimits& limits = {});

// Requests whose caller stopped waiting may still be finishing on their own
// threads; at most this many at once. While that many remain, a new request
// fails at once instead of adding another.
inline constexpr int kMaxAbandonedHttpWorkers = 4;

// Threads currently running a request, abandoned or not (for tests).
int WinInetHttpWorkers();

}  // namespace ui::win32
