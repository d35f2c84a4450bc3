#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavuno::test {

// How a ChildProcess starts its program.
struct ChildOptions {
  // Set in the child's environment, over what this process has.
  std::map<std::string, std::string> environment;
  // Standard output and error appended to this file; empty: /dev/null.
  std::string log;
  // Standard output to a pipe instead, read with read() or readLine() (unless an argument
  // asks for the "{fd}" pipe).
  bool pipeOutput = false;
  // What the child gets when this process dies.
  int deathSignal = SIGKILL;
};

// A program a test starts (a server, a player, a helper copy of the test binary) and always
// stops: in stop() or the destructor, and, should the test process die first, by the kernel (the
// child asks for a signal when its parent goes). Each child leads a process group of its own,
// so stopping it also reaches what it started (a shell's pipeline, a player loop's paplay).
class ChildProcess {
 public:
  using Options = ChildOptions;

  // The program's full path on $PATH; nothing when it is not installed.
  static std::optional<std::string> find(const std::string& program);

  ChildProcess() = default;
  // Starts `arguments` (the first is the program, looked up on $PATH). "{fd}" in an argument is
  // replaced by the number of a pipe the program writes to (its address, its display), read with
  // readLine().
  explicit ChildProcess(std::vector<std::string> arguments, Options options = {});
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Whether it has not ended yet (an ended child is reaped here).
  bool running();
  // The next line written to the pipe, without its line break; nothing when none came
  // within `seconds` or the program ended first.
  std::optional<std::string> readLine(double seconds);
  // Up to `size` bytes from the pipe, waiting at most `seconds` for some; 0 at its end or when
  // none came.
  std::size_t read(char* into, std::size_t size, double seconds);
  // Waits up to `seconds` for it to end by itself; its status (the exit code, or 128 + the
  // signal that ended it), nothing when it still runs.
  std::optional<int> wait(double seconds);
  // Sends `signal` to the program alone (what a test's SIGTERM or SIGKILL means), waits up to
  // `grace` seconds and then kills its group; whatever else its group holds is killed once it has
  // ended. Its status as wait() gives it, nothing when it had to be killed (or was not running).
  std::optional<int> stop(int signal = SIGTERM, double grace = 2.0);

 private:
  pid_t pid_ = -1;
  int pipe_ = -1;
  std::optional<int> status_;
};

// A program run to its end.
struct Completion {
  bool finished = false;  // false: it outlived its time and was killed with its group
  int exitCode = -1;      // -1 unless it exited (a signal ended it, or it did not finish)
  std::string out, err;
  bool succeeded() const { return finished && exitCode == 0; }
};

// Runs `arguments` to completion with standard output and error captured (standard input is
// /dev/null), killing it with its group after `seconds`. `whileWaiting`, when given, is called
// between reads (at least every 10 ms), e.g. to turn an event loop the program talks to.
Completion runToCompletion(const std::vector<std::string>& arguments, double seconds,
                           const std::map<std::string, std::string>& environment = {},
                           const std::function<void()>& whileWaiting = {});

// The standard output of a run that exited with 0; nothing otherwise.
std::optional<std::string> outputOf(const std::vector<std::string>& arguments, double seconds,
                                    const std::map<std::string, std::string>& environment = {});

}  // namespace tavuno::test
