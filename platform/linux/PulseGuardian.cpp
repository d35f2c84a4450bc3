#include "platform/linux/PulseGuardian.h"

#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "base/text/Integer.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/PulseConnection.h"
#include "platform/linux/ServerKeys.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

namespace {

constexpr const char* kProgram = "tavuno-guardian";

std::string executableDir() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  std::string self(path, static_cast<std::size_t>(length));
  const auto slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

std::int32_t toPid(const char* text) {
  const auto pid = parseInteger<std::int32_t>(text);
  return pid && *pid > 0 ? *pid : 0;
}

std::uint64_t toStart(const char* text) {
  return parseInteger<std::uint64_t>(text).value_or(0);
}

PulseServerView readServer(PulseConnection& connection) {
  PulseServerView view;
  pa_context* context = connection.context();
  // Asked at once: a guardian acts while the apps are silent, and on a loaded machine every
  // round trip it waits for counts.
  connection.runAll(
      {[&] {
         return pa_context_get_module_info_list(
             context,
             [](pa_context*, const pa_module_info* info, int eol, void* data) {
               if (eol || !info) return;
               static_cast<PulseServerView*>(data)->modules.push_back(
                   {info->index, info->name ? info->name : ""});
             },
             &view);
       },
       [&] {
         return pa_context_get_sink_info_list(
             context,
             [](pa_context*, const pa_sink_info* info, int eol, void* data) {
               if (eol || !info) return;
               static_cast<PulseServerView*>(data)->sinks.push_back(
                   {info->index, info->name ? info->name : "", info->owner_module,
                    toPid(pa_proplist_gets(info->proplist, serverkey::ownerPid)),
                    toStart(pa_proplist_gets(info->proplist, serverkey::ownerStart))});
             },
             &view);
       },
       [&] {
         return pa_context_get_sink_input_info_list(
             context,
             [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
               if (eol || !info) return;
               static_cast<PulseServerView*>(data)->inputs.push_back({info->index, info->sink});
             },
             &view);
       },
       [&] {
         return pa_context_get_server_info(
             context,
             [](pa_context*, const pa_server_info* info, void* data) {
               if (info && info->default_sink_name)
                 static_cast<PulseServerView*>(data)->defaultSink = info->default_sink_name;
             },
             &view);
       }});
  return view;
}

void storeSuccess(pa_context*, int ok, void* data) {
  *static_cast<int*>(data) = ok;
}

}  // namespace

PulseGuardian::PulseGuardian(std::string executable, std::string journalDir)
    : executable_(std::move(executable)), journalDir_(std::move(journalDir)) {}

PulseGuardian::~PulseGuardian() {
  std::lock_guard<std::mutex> guard(mutex_);
  closeLocked(3.0);
}

std::string PulseGuardian::defaultExecutable() {
  const std::string dir = executableDir();
  if (dir.empty()) return {};
  for (const std::string& candidate :
       {dir + "/" + kProgram, dir + "/../libexec/tavuno/" + kProgram})
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  return {};
}

bool PulseGuardian::start() {
  std::lock_guard<std::mutex> guard(mutex_);
  return runningLocked() || spawnLocked();
}

void PulseGuardian::keepRunning() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (taps_.empty() || runningLocked() ||
      std::chrono::steady_clock::now() - lastSpawn_ < std::chrono::seconds(1))
    return;
  spawnLocked();
}

bool PulseGuardian::tapLoaded(std::uint32_t module, const std::string& sink) {
  std::lock_guard<std::mutex> guard(mutex_);
  taps_[module] = sink;
  if (!runningLocked()) return spawnLocked();  // told of every tap as it starts
  if (sendLocked(GuardianLog::tapLine(module, sink))) return true;
  // A guardian that cannot be told is of no use: a fresh one is told everything.
  dropLocked();
  return spawnLocked();
}

void PulseGuardian::tapUnloaded(std::uint32_t module) {
  std::lock_guard<std::mutex> guard(mutex_);
  taps_.erase(module);
  if (runningLocked() && !sendLocked(GuardianLog::untapLine(module))) {
    dropLocked();
    if (!taps_.empty()) spawnLocked();
  }
}

pid_t PulseGuardian::pid() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return pid_;
}

bool PulseGuardian::runningLocked() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  // Where children are reaped for us (SIGCHLD ignored), only the pid tells.
  if (done < 0 && errno == ECHILD && ::kill(pid_, 0) == 0) return true;
  pid_ = 0;
  ::close(socket_);
  socket_ = -1;
  return false;
}

bool PulseGuardian::spawnLocked() {
  if (executable_.empty()) return false;
  lastSpawn_ = std::chrono::steady_clock::now();
  int ends[2];
  // Close-on-exec both: no program Tavuno starts may hold Tavuno's end (the guardian would
  // never see end of file), and the guardian's own end reaches it only as its standard input.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  const auto self = static_cast<std::int32_t>(::getpid());
  // Everything the child needs is built before it exists: posix_spawn only execs in it.
  std::vector<std::string> args = {
      executable_,          "--owner",
      std::to_string(self), std::to_string(processStartTime(self).value_or(0)),
      "--journal",          journalDir_};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  // A session of its own, so a signal to Tavuno's process group (Ctrl+C in a terminal, a test
  // killing its helper's group) does not take the guardian along; every signal as by default
  // and none blocked, whatever the thread that starts it had.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(
      &attributes,
      static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
  pid_t child = 0;
  const int failed =
      ::posix_spawn(&child, executable_.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (failed != 0) {
    ::close(ends[0]);
    return false;
  }
  pid_ = child;
  socket_ = ends[0];
  for (const auto& [module, sink] : taps_) {
    if (!sendLocked(GuardianLog::tapLine(module, sink))) {
      dropLocked();
      return false;
    }
  }
  return true;
}

bool PulseGuardian::sendLocked(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    // Never blocking, never SIGPIPE: the guardian drains its input at once, and one that died
    // is replaced rather than waited for.
    const ssize_t n =
        ::send(socket_, text.data() + done, text.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void PulseGuardian::closeLocked(double waitSeconds) {
  // Closing Tavuno's end is what tells the guardian to undo the taps left: it reads end of file.
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  if (pid_ <= 0) return;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(static_cast<std::int64_t>(waitSeconds * 1e6));
  // Reaped when it exits in time; otherwise it is still undoing what was left and exits on its
  // own when done.
  for (int status = 0; ::waitpid(pid_, &status, WNOHANG) == 0;) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = 0;
}

void PulseGuardian::dropLocked() {
  // Killed before its input is closed: a guardian being replaced must not take the close for
  // Tavuno's death and undo taps that are still in use.
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  pid_ = 0;
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
}

int runPulseGuardian(int input, const GuardianOwner& owner, const std::string& journalDir) {
  // Connected while Tavuno lives, so that its death costs only the requests that undo what it
  // left; connected again then if the server went away meanwhile.
  std::string error;
  auto connection = PulseConnection::connect(error);
  GuardianLog log;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(input, buffer, sizeof buffer);
    if (n > 0) {
      log.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // end of file, or the owner's end reset: either way it can tell us nothing more
  }
  if (log.taps().empty()) return 0;

  if (!connection || !connection->connected()) connection = PulseConnection::connect(error);
  if (!connection) return 1;  // the next Tavuno's start-up sweep unloads the taps
  SteerJournal journal(journalDir);
  const GuardianPlan plan =
      planGuardianCleanup(owner, log.taps(), journal.load(), readServer(*connection));
  pa_context* context = connection->context();
  std::vector<SteerRecord> done = plan.forget;
  bool complete = true;
  // Every move at once, then every unload at once: a tap unloaded before its streams left
  // would send them to the fallback sink rather than their own.
  std::vector<int> moved(plan.moves.size(), 0);
  std::vector<std::function<pa_operation*()>> moves;
  for (std::size_t i = 0; i < plan.moves.size(); ++i)
    moves.push_back([&, i] {
      return pa_context_move_sink_input_by_name(
          context, plan.moves[i].input, plan.moves[i].sink.c_str(), storeSuccess, &moved[i]);
    });
  connection->runAll(moves);
  for (std::size_t i = 0; i < plan.moves.size(); ++i) {
    if (moved[i])
      done.push_back(plan.moves[i].record);
    else
      complete = false;
  }
  std::vector<int> unloaded(plan.unload.size(), 0);
  std::vector<std::function<pa_operation*()>> unloads;
  for (std::size_t i = 0; i < plan.unload.size(); ++i)
    unloads.push_back([&, i] {
      return pa_context_unload_module(context, plan.unload[i], storeSuccess, &unloaded[i]);
    });
  connection->runAll(unloads);
  if (std::find(unloaded.begin(), unloaded.end(), 0) != unloaded.end()) complete = false;
  // A record whose stream could not be moved stays for the next Tavuno's sweep.
  if (!journal.remove([&](const SteerRecord& r) {
        return std::find(done.begin(), done.end(), r) != done.end();
      }))
    complete = false;
  return complete ? 0 : 1;
}

}  // namespace tavuno
