#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace ui::win32 {

// Bounds of one request. The defaults are what the client uses; tests pass
// smaller ones so that a stalled server costs them a second, not half a minute.
struct HttpLimits {
  std::chrono::milliseconds connectTimeout{10'000};  // connection set-up
  std::chrono::milliseconds totalTimeout{30'000};    // the whole request, body included
  std::size_t maxBodyBytes = 1024 * 1024;            // larger bodies count as a failed read
};

// Blocking GET with WinINet: a session with the system's preconfigured proxy
// settings and userAgent, an http or https address opened with
// INTERNET_FLAG_TRANSFER_ASCII and context 1, the body read with
// InternetReadFile.
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
