#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// What every HTTP transport of the platforms keeps to (docs/http.md); written
// here once so that the two cannot drift apart. Header only: the transports
// need no library of the system's for it.

// Bounds of one request. The defaults are what the client uses; tests pass
// smaller ones so that a stalled server costs them a second, not half a minute.
struct HttpLimits {
  std::chrono::milliseconds connectTimeout{10'000};  // connection set-up (TLS included where it applies)
  std::chrono::milliseconds totalTimeout{30'000};    // the whole request, body included
  std::size_t maxBodyBytes = 1024 * 1024;            // larger bodies count as a failed read
};

// The text of an answer's body, gathered as its bytes arrive: every CR and LF
// byte left out, all other bytes unchanged; the raw bytes, line breaks
// included, counted against the cap.
class HttpBodyText {
 public:
  explicit HttpBodyText(std::size_t maxBodyBytes) : m_maxBytes(maxBodyBytes) {}

  // Adds the next bytes of the body. False once the body is over the cap:
  // the read has failed and the text is of no use.
  bool Append(const char* bytes, std::size_t count) {
    m_received += count;
    if (m_received > m_maxBytes) return false;
    for (std::size_t i = 0; i < count; ++i) {
      if (bytes[i] != '\r' && bytes[i] != '\n') m_text.push_back(bytes[i]);
    }
    return true;
  }

  // Whether a body announced at this length would be over the cap.
  bool OverCap(std::uint64_t announced) const { return announced > m_maxBytes; }

  // Raw body bytes so far, line breaks included.
  std::uint64_t Received() const { return m_received; }

  std::string Take() { return std::move(m_text); }

 private:
  std::size_t m_maxBytes;
  std::uint64_t m_received = 0;
  std::string m_text;
};
