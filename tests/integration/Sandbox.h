#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>
#include <string>
#include <vector>

namespace itest {

// The stand-in platform (tools/sandbox) as a child process of the test, on a
// free loopback port. Started on first use in a test process and stopped, by
// its process id, when the process's tests are over.
class Sandbox {
 public:
  static Sandbox& Shared();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string Base() const;

  // Test hooks of the sandbox, fetched without the code under test.
  void Reset();
  void SetMode(const std::string& name, const std::string& value);
  // Every request the sandbox has seen since the last reset.
  std::vector<nlohmann::json> Log();

  void Stop();
  ~Sandbox();

 private:
  Sandbox();
  pid_t pid_ = -1;
  int port_ = 0;
};

// Raw GET, without the client's transport: the body exactly as sent.
std::string RawGet(const std::string& url);

}  // namespace itest
