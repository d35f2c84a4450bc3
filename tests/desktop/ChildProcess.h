#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tavuno::test {

// A server a test starts for itself (a bus daemon, a virtual X server) and
// always stops: in the destructor, and, should the test process die first,
// by the kernel (the child asks for SIGTERM when its parent goes).
class ChildProcess {
 public:
  // The program's full path on $PATH; nothing when it is not installed.
  static std::optional<std::string> find(const std::string& program);

  // Starts `arguments` (the first is the program) with its output silenced.
  // "{fd}" in an argument is replaced by the number of a pipe the program
  // writes its first line to (its address, its display).
  explicit ChildProcess(std::vector<std::string> arguments);
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The first line written to the pipe, without its line break; nothing when
  // none came within `seconds` or the program ended first.
  std::optional<std::string> readLine(double seconds);
  // SIGTERM, then SIGKILL if it has not ended within two seconds.
  void stop();

 private:
  pid_t pid_ = -1;
  int pipe_ = -1;
};

}  // namespace tavuno::test
