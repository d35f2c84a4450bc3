#include "desktop/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace tavuno::test {

std::optional<std::string> ChildProcess::find(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = folder + "/" + program;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

ChildProcess::ChildProcess(std::vector<std::string> arguments) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  // The write end must survive exec in the child, at a number known before
  // the fork.
  const int writeEnd = ::fcntl(fds[1], F_DUPFD, 3);
  ::close(fds[1]);
  for (auto& argument : arguments)
    if (auto at = argument.find("{fd}"); at != std::string::npos)
      argument.replace(at, 4, std::to_string(writeEnd));
  std::vector<char*> argv;
  for (auto& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the parent is already gone
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::setpgid(0, 0);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(writeEnd);
  pipe_ = fds[0];
}

ChildProcess::~ChildProcess() {
  stop();
}

std::optional<std::string> ChildProcess::readLine(double seconds) {
  if (pid_ <= 0 || pipe_ < 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::string line;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd readable{pipe_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    char c;
    const ssize_t n = ::read(pipe_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;  // closed: the program ended
    if (c == '\n') return line;
    line += c;
  }
}

void ChildProcess::stop() {
  if (pipe_ >= 0) ::close(pipe_);
  pipe_ = -1;
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  // Waits for its end through a process descriptor, with a deadline.
  const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (process >= 0) {
    pollfd ended{process, POLLIN, 0};
    if (::poll(&ended, 1, 2000) <= 0) ::kill(pid_, SIGKILL);
    ::close(process);
  } else {
    ::kill(pid_, SIGKILL);
  }
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace tavuno::test
