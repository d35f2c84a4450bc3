#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "support/Deadline.h"

extern char** environ;

namespace tavuno::test {

namespace {

using Clock = std::chrono::steady_clock;

// The number the "{fd}" pipe has in the child.
constexpr int childPipe = 3;

// A command line and environment built before fork(): in a multi-threaded process the child may
// only make async-signal-safe calls, as an allocation can wait forever on a lock another thread
// held at the fork (the sanitizers' allocators spin on one).
class ExecLine {
 public:
  ExecLine(const std::vector<std::string>& arguments,
           const std::map<std::string, std::string>& environment)
      : arguments_(arguments) {
    for (auto& argument : arguments_)
      argv_.push_back(argument.data());
    argv_.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      if (!environment.count(entry.substr(0, entry.find('=')))) environment_.push_back(entry);
    }
    for (const auto& [key, value] : environment)
      environment_.push_back(key + "=" + value);
    for (auto& entry : environment_)
      envp_.push_back(entry.data());
    envp_.push_back(nullptr);
  }
  bool empty() const { return arguments_.empty(); }
  [[noreturn]] void exec() {
    ::execvpe(argv_[0], argv_.data(), envp_.data());
    ::_exit(127);
  }

 private:
  std::vector<std::string> arguments_, environment_;
  std::vector<char*> argv_, envp_;
};

// The child's standard streams (-1: /dev/null) and the "{fd}" pipe's write end (-1: none).
struct ChildFds {
  int out = -1, err = -1, pipe = -1;
};

// Forks `line` in a process group of its own that gets `deathSignal` when this thread's process
// goes; its pid, or -1.
pid_t forkExec(ExecLine& line, const ChildFds& fds, int deathSignal) {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, deathSignal);
    if (::getppid() != parent) ::_exit(127);  // the parent is already gone
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(null, STDIN_FILENO);
    ::dup2(fds.out >= 0 ? fds.out : null, STDOUT_FILENO);
    ::dup2(fds.err >= 0 ? fds.err : null, STDERR_FILENO);
    if (fds.pipe >= 0) {
      if (fds.pipe == childPipe)
        ::fcntl(childPipe, F_SETFD, 0);
      else
        ::dup2(fds.pipe, childPipe);
    }
    ::close_range(fds.pipe >= 0 ? childPipe + 1 : childPipe, ~0U, 0);
    line.exec();
  }
  // Also here, so that the group exists before anyone signals it.
  if (pid > 0) ::setpgid(pid, pid);
  if (null >= 0) ::close(null);
  return pid;
}

int statusOf(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

void readAvailable(int& fd, std::string& into) {
  if (fd < 0) return;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {  // closed: nothing more comes
      ::close(fd);
      fd = -1;
    }
    return;
  }
}

}  // namespace

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

ChildProcess::ChildProcess(std::vector<std::string> arguments, Options options) {
  if (arguments.empty()) return;
  int pipeEnds[2] = {-1, -1};
  bool wantsPipe = false;
  for (auto& argument : arguments)
    if (auto at = argument.find("{fd}"); at != std::string::npos) {
      argument = argument.substr(0, at) + std::to_string(childPipe) + argument.substr(at + 4);
      wantsPipe = true;
    }
  if ((wantsPipe || options.pipeOutput) && ::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  const int log = options.log.empty() ? -1
                                      : ::open(options.log.c_str(),
                                               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  ExecLine line(arguments, options.environment);
  const bool outputPiped = options.pipeOutput && !wantsPipe;
  pid_ = forkExec(line, {outputPiped ? pipeEnds[1] : log, log, wantsPipe ? pipeEnds[1] : -1},
                  options.deathSignal);
  if (log >= 0) ::close(log);
  if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
  pipe_ = pipeEnds[0];
  if (pid_ <= 0 && pipe_ >= 0) {
    ::close(pipe_);
    pipe_ = -1;
  }
}

ChildProcess::~ChildProcess() {
  stop();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pipe_(std::exchange(other.pipe_, -1)),
      status_(std::exchange(other.status_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    stop();
    pid_ = std::exchange(other.pid_, -1);
    pipe_ = std::exchange(other.pipe_, -1);
    status_ = std::exchange(other.status_, std::nullopt);
  }
  return *this;
}

bool ChildProcess::running() {
  if (pid_ <= 0 || status_) return false;
  int raw = 0;
  const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
  if (done == pid_)
    status_ = statusOf(raw);
  else if (done < 0 && errno == ECHILD)
    status_ = -1;  // reaped elsewhere: ended, status unknown
  return !status_;
}

std::optional<int> ChildProcess::wait(double seconds) {
  if (pid_ <= 0) return std::nullopt;
  waitUntil([&] { return !running(); }, seconds, std::chrono::milliseconds(2));
  return status_;
}

std::optional<std::string> ChildProcess::readLine(double seconds) {
  if (pid_ <= 0 || pipe_ < 0) return std::nullopt;
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  std::string line;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
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

std::size_t ChildProcess::read(char* into, std::size_t size, double seconds) {
  if (pipe_ < 0) return 0;
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    pollfd readable{pipe_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(pipe_, into, size);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
}

std::optional<int> ChildProcess::stop(int signal, double grace) {
  if (pipe_ >= 0) ::close(pipe_);
  pipe_ = -1;
  if (pid_ <= 0) return std::nullopt;
  bool killed = false;
  if (running()) {
    ::kill(pid_, signal);
    if (!wait(grace)) {
      ::kill(-pid_, SIGKILL);
      int raw = 0;
      ::waitpid(pid_, &raw, 0);
      killed = true;
    }
  }
  ::kill(-pid_, SIGKILL);  // what it started in its group
  pid_ = -1;
  const std::optional<int> status = killed ? std::nullopt : status_;
  status_.reset();
  return status;
}

Completion runToCompletion(const std::vector<std::string>& arguments, double seconds,
                           const std::map<std::string, std::string>& environment,
                           const std::function<void()>& whileWaiting) {
  Completion completion;
  if (arguments.empty()) return completion;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return completion;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return completion;
  }
  ExecLine line(arguments, environment);
  const pid_t pid = forkExec(line, {out[1], err[1], -1}, SIGKILL);
  ::close(out[1]);
  ::close(err[1]);
  int outFd = out[0], errFd = err[0];
  ::fcntl(outFd, F_SETFL, O_NONBLOCK);
  ::fcntl(errFd, F_SETFL, O_NONBLOCK);
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  int raw = 0;
  while (pid > 0) {
    readAvailable(outFd, completion.out);
    readAvailable(errFd, completion.err);
    if (::waitpid(pid, &raw, WNOHANG) == pid) {
      // What it wrote before it ended is in the pipes already; a daemon it left behind that
      // still holds them is not waited for.
      readAvailable(outFd, completion.out);
      readAvailable(errFd, completion.err);
      completion.finished = true;
      if (WIFEXITED(raw)) completion.exitCode = WEXITSTATUS(raw);
      break;
    }
    if (Clock::now() >= deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &raw, 0);
      break;
    }
    if (whileWaiting) whileWaiting();
    pollfd readable[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    ::poll(readable, 2, whileWaiting ? 1 : 10);
  }
  if (outFd >= 0) ::close(outFd);
  if (errFd >= 0) ::close(errFd);
  return completion;
}

std::optional<std::string> outputOf(const std::vector<std::string>& arguments, double seconds,
                                    const std::map<std::string, std::string>& environment) {
  Completion run = runToCompletion(arguments, seconds, environment);
  if (!run.succeeded()) return std::nullopt;
  return std::move(run.out);
}

}  // namespace tavuno::test
