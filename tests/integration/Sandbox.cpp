#include "Sandbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace itest {
namespace {

// Reads the sandbox's first stdout line ("PORT <n>") within a few seconds.
int ReadPortLine(int fd) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') {
      if (line.rfind("PORT ", 0) == 0) return std::stoi(line.substr(5));
      break;
    }
    line.push_back(c);
  }
  throw std::runtime_error("the sandbox did not report its port: " + line);
}

}  // namespace

Sandbox& Sandbox::Shared() {
  static Sandbox sandbox;
  return sandbox;
}

Sandbox::Sandbox() {
  // Loopback never goes through a proxy the machine may have configured.
  const char* noProxy = std::getenv("no_proxy");
  setenv("no_proxy", noProxy ? (std::string(noProxy) + ",127.0.0.1").c_str() : "127.0.0.1", 1);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  // It stops by itself after a while even if this process dies unexpectedly.
  const char* argv[] = {KQV_PYTHON, KQV_SANDBOX_SCRIPT, "--port", "0", "--exit-after", "600", nullptr};
  const int rc = posix_spawn(&pid_, KQV_PYTHON, &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start the sandbox");
  }
  try {
    port_ = ReadPortLine(out[0]);
  } catch (...) {
    close(out[0]);
    Stop();
    throw;
  }
  close(out[0]);  // it prints nothing else that matters; writes after this are dropped
}

Sandbox::~Sandbox() { Stop(); }

void Sandbox::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string Sandbox::Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void Sandbox::Reset() { RawGet(Base() + "/__reset"); }

void Sandbox::SetMode(const std::string& name, const std::string& value) {
  RawGet(Base() + "/__mode?" + name + "=" + value);
}

std::vector<nlohmann::json> Sandbox::Log() {
  std::vector<nlohmann::json> entries;
  std::istringstream lines(RawGet(Base() + "/__log"));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) entries.push_back(nlohmann::json::parse(line));
  }
  return entries;
}

std::string RawGet(const std::string& url) {
  // A plain HTTP/1.0 request over a socket of its own, so that the hooks
  // never go through the transport under test. Only loopback addresses of
  // the form http://127.0.0.1:<port>/<target> are used here.
  const std::string prefix = "http://127.0.0.1:";
  const auto slash = url.find('/', prefix.size());
  if (url.rfind(prefix, 0) != 0 || slash == std::string::npos)
    throw std::runtime_error("not a loopback address: " + url);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(prefix.size(), slash - prefix.size()))));
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval timeout{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  std::string answer;
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  const std::string request = "GET " + url.substr(slash) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  ok = ok && send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  char buffer[4096];
  for (ssize_t n; ok && (n = recv(s, buffer, sizeof buffer, 0)) != 0;) {
    if (n < 0)
      ok = false;
    else
      answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(s);
  const auto body = answer.find("\r\n\r\n");
  if (!ok || answer.rfind("HTTP/1.", 0) != 0 || body == std::string::npos) {
    throw std::runtime_error("sandbox hook failed: " + url);
  }
  return answer.substr(body + 4);
}

}  // namespace itest
