#pragma once
// An HTTP server on a free loopback port that answers every request with one
// kind of faulty body, and reports what happened on the connection: how many
// body bytes the client's side accepted, and how the connection ended.
// The server stops within a moment when it is destroyed.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wine_tests {

enum class FaultBody {
  Whole,             // a short page with line breaks, its length announced
  Short,             // fewer bytes than announced, then the server closes
  AnnouncedOverCap,  // a length of 64 MiB announced, and that much sent
  EndlessLength,     // a huge length announced, bytes sent as fast as taken
  EndlessChunked,    // chunks sent as fast as taken, never a last chunk
  EndlessUnframed,   // no length and no chunks: bytes until the server stops
  Trickle,           // 60000 bytes announced, one sent every 100 ms
  NoHead,            // the request is read and nothing is ever answered
};

class FaultServer {
 public:
  explicit FaultServer(FaultBody body);
  // One answer per request, in this order, all on one connection (the
  // connection is kept between them).
  explicit FaultServer(std::vector<FaultBody> bodies);
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  std::string Url() const;
  // What the client receives for Whole, line breaks included.
  static std::string WholeBody();

  struct Report {
    int connections = 0;
    int requests = 0;              // on the latest connection
    std::uint64_t accepted = 0;    // body bytes taken by the client's side, latest connection
    bool ended = false;            // the latest connection is over
    bool droppedByClient = false;  // it ended because the client went away
    bool sentAll = false;          // it ended because the body was complete
  };
  Report Get() const;
  // Waits until the latest connection is over, at most timeout.
  Report WaitEnded(std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace wine_tests
