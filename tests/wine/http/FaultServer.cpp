#include "FaultServer.h"

#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "LoopbackServer.h"

namespace wine_tests {

namespace {
constexpr std::uint64_t kOverCapLength = 64ull * 1024 * 1024;
constexpr const char* kHugeLength = "1000000000000";
}  // namespace

struct FaultServer::State {
  std::vector<FaultBody> bodies;
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  std::atomic<bool> stop{false};
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  Report report;
  std::thread thread;

  enum class Sent { Ok, Dropped, Stopped };

  // Sends all of data, as fast as the client's side takes it (a blocking
  // send in a tight loop keeps its receive buffer full, as a fast server
  // would); counts what it takes. The send time-out only lets the loop see
  // the stop flag.
  Sent Send(SOCKET client, const std::string& data, bool isBody) {
    std::size_t done = 0;
    while (done < data.size()) {
      if (stop) return Sent::Stopped;
      const int sent = send(client, data.data() + done, static_cast<int>(data.size() - done), 0);
      if (sent <= 0) {
        if (WSAGetLastError() == WSAETIMEDOUT) continue;
        return Sent::Dropped;
      }
      done += static_cast<std::size_t>(sent);
      if (isBody) {
        std::lock_guard<std::mutex> lock(mutex);
        report.accepted += static_cast<std::uint64_t>(sent);
      }
    }
    return Sent::Ok;
  }

  // Whether the client closed or reset its side while the server only waits.
  bool ClientGone(SOCKET client, int waitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(client, &readable);
    timeval wait{0, waitMs * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return false;
    char byte;
    return recv(client, &byte, 1, 0) <= 0;
  }

  // Reads one request's head; false when the client goes or on stop.
  bool ReadRequest(SOCKET client) {
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
      if (stop) return false;
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(client, &readable);
      timeval wait{0, 50 * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      request.append(buffer, static_cast<size_t>(got));
    }
    std::lock_guard<std::mutex> lock(mutex);
    ++report.requests;
    return true;
  }

  Sent Answer(SOCKET client, FaultBody body) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
    std::string chunk(64 * 1024, 'x');
    switch (body) {
      case FaultBody::Whole:
        head += "Content-Length: " + std::to_string(WholeBody().size()) + "\r\n\r\n";
        if (Send(client, head, false) != Sent::Ok) return Sent::Dropped;
        return Send(client, WholeBody(), true);
      case FaultBody::Short:
        head += "Content-Length: 1000\r\n\r\n";
        if (Send(client, head, false) != Sent::Ok) return Sent::Dropped;
        return Send(client, std::string(400, 's'), true);
      case FaultBody::AnnouncedOverCap: {
        head += "Content-Length: " + std::to_string(kOverCapLength) + "\r\n\r\n";
        if (Send(client, head, false) != Sent::Ok) return Sent::Dropped;
        for (std::uint64_t sent = 0; sent < kOverCapLength; sent += chunk.size()) {
          if (Sent s = Send(client, chunk, true); s != Sent::Ok) return s;
        }
        return Sent::Ok;
      }
      case FaultBody::EndlessLength:
        head += std::string("Content-Length: ") + kHugeLength + "\r\n\r\n";
        break;
      case FaultBody::Trickle:
        head += "Content-Length: 60000\r\n\r\n";
        break;
      case FaultBody::EndlessChunked:
        head += "Transfer-Encoding: chunked\r\n\r\n";
        chunk = "10000\r\n" + chunk + "\r\n";
        break;
      case FaultBody::EndlessUnframed:
        head += "Connection: close\r\n\r\n";
        break;
      case FaultBody::NoHead:
        while (!stop) {
          if (ClientGone(client, 50)) return Sent::Dropped;
        }
        return Sent::Stopped;
    }
    if (Send(client, head, false) != Sent::Ok) return Sent::Dropped;
    if (body == FaultBody::Trickle) chunk = "t";
    for (;;) {
      if (Sent s = Send(client, chunk, true); s != Sent::Ok) return s;
      if (body == FaultBody::Trickle && ClientGone(client, 100)) return Sent::Dropped;
    }
  }

  void Serve() {
    while (!stop) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener, &readable);
      timeval wait{0, 50 * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept(listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++report.connections;
        report.accepted = 0;
        report.requests = 0;
        report.ended = report.droppedByClient = report.sentAll = false;
      }
      DWORD sendTimeout = 100;
      setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&sendTimeout), sizeof sendTimeout);
      // Every answer but the last keeps the connection for the next request.
      Sent result = Sent::Dropped;
      for (FaultBody body : bodies) {
        if (!ReadRequest(client)) break;
        result = Answer(client, body);
        if (result != Sent::Ok) break;
      }
      closesocket(client);
      {
        std::lock_guard<std::mutex> lock(mutex);
        report.ended = true;
        report.droppedByClient = result == Sent::Dropped;
        report.sentAll = result == Sent::Ok;
      }
      changed.notify_all();
    }
  }
};

FaultServer::FaultServer(FaultBody body) : FaultServer(std::vector<FaultBody>{body}) {}

FaultServer::FaultServer(std::vector<FaultBody> bodies) : m_state(std::make_unique<State>()) {
  State& s = *m_state;
  s.bodies = std::move(bodies);
  s.listener = ListenOnLoopback(8, &s.port);
  s.thread = std::thread([&s] { s.Serve(); });
}

FaultServer::~FaultServer() {
  m_state->stop = true;
  m_state->thread.join();
  closesocket(m_state->listener);
}

std::string FaultServer::Url() const { return "http://127.0.0.1:" + std::to_string(m_state->port) + "/fault"; }

std::string FaultServer::WholeBody() { return "line one\r\nline two\nend\r\n"; }

FaultServer::Report FaultServer::Get() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->report;
}

FaultServer::Report FaultServer::WaitEnded(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_state->mutex);
  m_state->changed.wait_for(lock, timeout, [this] { return m_state->report.ended; });
  return m_state->report;
}

}  // namespace wine_tests
