#include "tests/linux/session/SessionAudioStack.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

namespace tavuno::test {

namespace {

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// A command line and environment built before fork(): in a multi-threaded process the child
// may only make async-signal-safe calls, as an allocation can wait forever on a lock another
// thread held at the fork (the sanitizers' allocators spin on one).
class ExecLine {
 public:
  explicit ExecLine(const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env = {})
      : args_(argv) {
    for (auto& a : args_)
      argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      if (!env.count(entry.substr(0, entry.find('=')))) env_.push_back(entry);
    }
    for (const auto& [k, v] : env)
      env_.push_back(k + "=" + v);
    for (auto& e : env_)
      envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }
  // In the child only.
  [[noreturn]] void exec() {
    ::execvpe(argv_[0], argv_.data(), envp_.data());
    ::_exit(127);
  }

 private:
  std::vector<std::string> args_, env_;
  std::vector<char*> argv_, envp_;
};

// A 16-bit stereo WAV of a sine at `amplitude` of full scale.
void writeTone(const std::string& path, int seconds, double hertz, double amplitude = 0.5) {
  const std::uint32_t rate = 48000, frames = rate * static_cast<std::uint32_t>(seconds);
  const std::uint32_t bytes = frames * 4;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(rate * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(bytes);
  std::vector<std::int16_t> block(2 * rate);
  for (std::uint32_t i = 0; i < rate; ++i) {
    const auto s = static_cast<std::int16_t>(
        std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hertz * i / rate)));
    block[2 * i] = block[2 * i + 1] = s;
  }
  for (int s = 0; s < seconds; ++s)
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * 2));
}

}  // namespace

double longestSilence(const std::vector<float>& samples, std::size_t from) {
  std::size_t run = 0, longest = 0;
  for (std::size_t i = from & ~std::size_t{1}; i + 1 < samples.size(); i += 2) {
    const bool silent = std::fabs(samples[i]) < 0.01f && std::fabs(samples[i + 1]) < 0.01f;
    run = silent ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return double(longest) / 48000.0;
}

std::string silenceReport(const std::vector<float>& samples, std::size_t from) {
  std::size_t run = 0, longest = 0, longestEnd = 0;
  for (std::size_t i = from & ~std::size_t{1}; i + 1 < samples.size(); i += 2) {
    const bool silent = std::fabs(samples[i]) < 0.01f && std::fabs(samples[i + 1]) < 0.01f;
    run = silent ? run + 1 : 0;
    if (run > longest) longest = run, longestEnd = i / 2 + 1;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%.0f ms recorded, longest silence %.0f ms from %.0f ms",
                double(samples.size() / 2) / 48.0, double(longest) / 48.0,
                double(longestEnd - longest) / 48.0);
  return text;
}

SessionAudioStack& SessionAudioStack::get(Server server) {
  static SessionAudioStack* stack = [server] {
    auto* s = new SessionAudioStack();
    s->start(server);
    // Stopped at exit whatever the tests did; a fatal signal is the one thing this misses.
    std::atexit([] { delete stack; });
    return s;
  }();
  return *stack;
}

SessionAudioStack::~SessionAudioStack() {
  for (pid_t pid : children_)
    ::kill(-pid, SIGKILL);
  for (pid_t pid : children_)
    ::waitpid(pid, nullptr, 0);
  stopServer();
  // TAVUNO_KEEP_AUDIO_STACK keeps the folder and the servers' logs (spawn.log) to look at.
  if (!root_.empty() && !std::getenv("TAVUNO_KEEP_AUDIO_STACK")) std::filesystem::remove_all(root_);
}

pid_t SessionAudioStack::spawn(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& env) {
  const std::string log = root_ + "/spawn.log";
  ExecLine line(argv, env);
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // its own group: stop() reaches what a shell child started too
    // Servers and players go with a test that dies (a crash, a timeout's kill).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
    }
    line.exec();
  }
  if (pid > 0) children_.push_back(pid);
  return pid;
}

void SessionAudioStack::stop(pid_t pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  ::waitpid(pid, nullptr, 0);
  ::kill(-pid, SIGKILL);
  std::erase(children_, pid);
}

std::optional<std::string> SessionAudioStack::run(const std::vector<std::string>& argv) {
  int pipes[2];
  if (::pipe(pipes) != 0) return std::nullopt;
  ExecLine line(argv);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipes[1], 1);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::close(pipes[0]);
    line.exec();
  }
  ::close(pipes[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipes[0], buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<std::size_t>(n));
  ::close(pipes[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

bool SessionAudioStack::start(Server server) {
  server_ = server;
  std::vector<std::string> needed = {"pactl", "paplay", "parec"};
  if (server == Server::pipewire) {
    for (const char* p : {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse"})
      needed.push_back(p);
  } else {
    needed.push_back("pulseaudio");
  }
  for (const auto& program : needed) {
    if (!onPath(program)) {
      problem_ = program + " is not installed";
      return false;
    }
  }
  char templ[] = "/tmp/tavuno-session-XXXXXX";
  if (!::mkdtemp(templ)) {
    problem_ = "mkdtemp failed";
    return false;
  }
  root_ = templ;
  for (const char* dir : {"/run", "/state", "/config", "/home"})
    std::filesystem::create_directories(root_ + dir);
  ::chmod((root_ + "/run").c_str(), 0700);
  // The pulse runtime folder exists before any server or client starts:
  // pipewire-pulse 1.4 checks for it and then creates it, and a pactl
  // asking in between (libpulse makes the folder too) made it give up.
  ::mkdir((root_ + "/run/pulse").c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  ::setenv("PIPEWIRE_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  ::setenv("HOME", (root_ + "/home").c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root_ + "/run/bus").c_str(), 1);
  ::unsetenv("PULSE_SERVER");
  ::unsetenv("PIPEWIRE_REMOTE");
  tone_ = root_ + "/tone.wav";
  writeTone(tone_, 60, 440.0);
  higherTone_ = root_ + "/higher.wav";
  writeTone(higherTone_, 60, 660.0);
  silence_ = root_ + "/silence.wav";
  writeTone(silence_, 1, 440.0, 0.0);
  if (!startServer()) return false;
  problem_.clear();
  return true;
}

bool SessionAudioStack::startServer() {
  const std::string run = root_ + "/run";
  if (server_ == Server::pipewire) {
    if (!std::filesystem::exists(run + "/bus")) {
      serverPids_.push_back(
          spawn({"dbus-daemon", "--session", "--address=unix:path=" + run + "/bus", "--nofork",
                 "--nopidfile"}));
      std::erase(children_, serverPids_.back());
      if (!waitUntil([&] { return std::filesystem::exists(run + "/bus"); }, 20)) {
        problem_ = "dbus-daemon did not start";
        return false;
      }
    }
    serverPids_.push_back(spawn({"pipewire"}));
    if (!waitUntil([&] { return std::filesystem::exists(run + "/pipewire-0"); }, 20)) {
      problem_ = "pipewire did not start";
      return false;
    }
    serverPids_.push_back(spawn({"wireplumber"}));
    serverPids_.push_back(spawn({"pipewire-pulse"}));
  } else {
    const std::string config = root_ + "/default.pa";
    std::ofstream(config) << "load-module module-native-protocol-unix\n"
                             "load-module module-stream-restore\n"
                             "load-module module-always-sink\n";
    serverPids_.push_back(spawn({"pulseaudio", "-n", "-F", config, "--daemonize=no",
                                 "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no"}));
  }
  for (pid_t pid : serverPids_)
    std::erase(children_, pid);
  if (!waitUntil([&] { return this->run({"pactl", "info"}).has_value(); }, 30)) {
    // Which server gave up, if one did, and what the servers said last.
    std::string servers;
    for (pid_t pid : serverPids_) {
      int status = 0;
      const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
      servers += " " + std::to_string(pid) + ":" +
                 (!ended                ? std::string("running")
                  : WIFEXITED(status)   ? "exited " + std::to_string(WEXITSTATUS(status))
                  : WIFSIGNALED(status) ? "killed by " + std::to_string(WTERMSIG(status))
                                        : std::string("ended"));
    }
    problem_ = "the pulse socket did not answer (servers:" + servers +
               "; the servers' log ends: " + logTail(8) + ")";
    return false;
  }
  if (!loadTestSinks()) return false;
  this->run({"pactl", "set-default-sink", "builtin_speakers"});
  // PipeWire 1.x holds a volume or mute write to a null sink that has never run until it first
  // runs (a real card is not affected): each sink runs once, so that volume and mute mean the
  // same on every stack.
  for (const char* sink : {"builtin_speakers", "usb_dac"}) {
    if (!this->run({"paplay", "--device=" + std::string(sink), silence_})) {
      problem_ = std::string("the sink ") + sink + " did not run once";
      return false;
    }
  }
  if (server_ == Server::pipewire &&
      !waitUntil(
          [&] {
            // WirePlumber is ready once it has named the default sink and holds the restore
            // data: the sessions steer and seed through those two metadata objects.
            auto defaults = this->run({"pw-metadata", "-n", "default", "0", "default.audio.sink"});
            auto routes = this->run({"pw-metadata", "-n", "route-settings"});
            return defaults && defaults->find("builtin_speakers") != std::string::npos && routes &&
                   routes->find("route-settings") != std::string::npos;
          },
          30)) {
    problem_ = "WirePlumber did not take over the graph";
    return false;
  }
  return true;
}

bool SessionAudioStack::loadTestSinks() {
  struct Sink {
    const char* name;
    const char* properties;
    std::chrono::steady_clock::time_point loaded{};
  };
  Sink sinks[] = {
      {"builtin_speakers", "device.description='Built-in' device.bus=pci device.api=alsa"},
      {"usb_dac", "device.description='USB' device.bus=usb device.api=alsa"}};
  // A server that answers can still lose or refuse a load while it comes up (seen after a
  // restart under load): a sink that has not appeared a while after its load is loaded again,
  // its earlier module unloaded first so that no second sink of the name appears.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string listed;
  std::string lastLoad;
  for (;;) {
    listed = this->run({"pactl", "list", "short", "sinks"}).value_or("(listing failed)");
    bool all = true;
    const auto now = std::chrono::steady_clock::now();
    for (Sink& sink : sinks) {
      if (listed.find(std::string("\t") + sink.name + "\t") != std::string::npos) continue;
      all = false;
      if (now - sink.loaded < std::chrono::seconds(5)) continue;
      const std::string argument = std::string("sink_name=") + sink.name;
      std::istringstream modules(this->run({"pactl", "list", "short", "modules"}).value_or(""));
      for (std::string line; std::getline(modules, line);)
        if (line.find("module-null-sink") != std::string::npos &&
            line.find(argument + " ") != std::string::npos)
          this->run({"pactl", "unload-module", line.substr(0, line.find('\t'))});
      const bool ok = this->run({"pactl", "load-module", "module-null-sink", argument,
                                 std::string("sink_properties=\"") + sink.properties + "\""})
                          .has_value();
      lastLoad = std::string(sink.name) + (ok ? " loaded" : " refused");
      sink.loaded = now;
    }
    if (all) return true;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  problem_ = "the test sinks did not appear (last load: " + lastLoad + "; sinks: " + listed +
             "; the servers' log ends: " + logTail(6) + ")";
  return false;
}

void SessionAudioStack::stopServer() {
  for (auto it = serverPids_.rbegin(); it != serverPids_.rend(); ++it)
    ::kill(*it, SIGTERM);
  for (pid_t pid : serverPids_)
    ::waitpid(pid, nullptr, 0);
  serverPids_.clear();
}

bool SessionAudioStack::restartServer() {
  // dbus stays: only the audio server's three processes go.
  pid_t dbus = server_ == Server::pipewire && !serverPids_.empty() ? serverPids_.front() : 0;
  for (pid_t pid : serverPids_)
    if (pid != dbus) ::kill(pid, SIGKILL);
  for (pid_t pid : serverPids_)
    if (pid != dbus) ::waitpid(pid, nullptr, 0);
  serverPids_.clear();
  if (dbus) serverPids_.push_back(dbus);
  std::filesystem::remove(root_ + "/run/pipewire-0");
  std::filesystem::remove(root_ + "/run/pipewire-0.lock");
  return startServer();
}

std::string SessionAudioStack::logTail(int lines) const {
  std::ifstream in(root_ + "/spawn.log");
  std::vector<std::string> kept;
  for (std::string line; std::getline(in, line);) {
    kept.push_back(line.substr(0, 300));
    if (kept.size() > static_cast<std::size_t>(lines)) kept.erase(kept.begin());
  }
  std::string out;
  for (const auto& line : kept)
    out += (out.empty() ? "" : " | ") + line;
  return out;
}

bool SessionAudioStack::deafenMetadata() {
  if (server_ != Server::pipewire || serverPids_.size() < 3) return false;
  const std::string wireplumber = std::to_string(serverPids_[2]);
  const std::string monitor = root_ + "/metadata-monitor.txt";
  // A monitor that stops seeing the probes written now and then tells when it is reached.
  const std::string script =
      "pw-metadata -m -n default > " + monitor +
      " 2>&1 & monitor=$!\n"
      "seen() { for _ in $(seq 100); do grep -q \"probe-$1'\" " +
      monitor +
      " && return 0; sleep 0.01; done; return 1; }\n"
      "pw-metadata -n default 0 tavuno.probe probe-0 >/dev/null; seen 0 || exit 2\n"
      "for i in $(seq 1 400); do\n"
      "  pw-metadata -m -n default >/dev/null 2>&1 & binder=$!\n"
      "  sleep 0.0$((RANDOM % 3))$((RANDOM % 10))\n"
      "  kill -STOP " +
      wireplumber + "; sleep 0.01; kill -KILL $binder; kill -CONT " + wireplumber +
      "\n"
      "  wait $binder 2>/dev/null\n"
      "  if [ $((i % 10)) = 0 ]; then\n"
      "    pw-metadata -n default 0 tavuno.probe probe-$i >/dev/null\n"
      "    seen $i || { kill $monitor; exit 0; }\n"
      "  fi\n"
      "done\n"
      "kill $monitor; exit 1\n";
  const bool deaf = run({"bash", "-c", script}).has_value();
  ::kill(serverPids_[2], SIGCONT);
  return deaf;
}

pid_t SessionAudioStack::play(const std::string& app, const std::string& sink, bool higher) {
  // A shell that plays the tone again whenever it ends, its streams declaring the shell's pid:
  // one process for as long as a test needs.
  const std::string device = sink.empty() ? "" : " --device=" + sink;
  const std::string command = "while :; do PULSE_PROP=\"application.id=org.example." + app +
                              " application.process.id=$$\" paplay --client-name=" + app + device +
                              " " + (higher ? higherTone_ : tone_) + "; done";
  pid_t pid = spawn({"sh", "-c", command});
  waitUntil([&] { return !sinkOf(pid).empty(); }, 20);
  return pid;
}

std::vector<float> SessionAudioStack::record(const std::string& sink, double seconds,
                                             std::atomic<bool>* started) {
  std::vector<float> samples;
  int pipes[2];
  if (::pipe(pipes) != 0) return samples;
  ExecLine line({"parec", "--device=" + sink + ".monitor", "--format=float32le", "--channels=2",
                 "--rate=48000", "--raw", "--latency-msec=10"});
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipes[1], 1);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::close(pipes[0]);
    line.exec();
  }
  ::close(pipes[1]);
  const std::size_t want = static_cast<std::size_t>(seconds * 48000) * 8;
  std::vector<char> data;
  data.reserve(want);
  char buffer[8192];
  while (data.size() < want) {
    ssize_t n = ::read(pipes[0], buffer, std::min(sizeof buffer, want - data.size()));
    if (n <= 0) break;
    if (started) *started = true;
    data.insert(data.end(), buffer, buffer + n);
  }
  ::close(pipes[0]);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  samples.resize(data.size() / 4);
  std::memcpy(samples.data(), data.data(), samples.size() * 4);
  return samples;
}

double SessionAudioStack::settledRms(const std::string& sink, double expected) {
  double rms = 0;
  waitUntil(
      [&] {
        rms = level(sink).rms;
        return std::abs(rms - expected) <= 0.01;
      },
      15);
  return rms;
}

SessionAudioStack::Level SessionAudioStack::level(const std::string& sink, double seconds,
                                                  std::atomic<bool>* started) {
  const std::vector<float> all = record(sink, 0.1 + seconds, started);
  Level level;
  const std::size_t skip = 4800 * 2;
  if (all.size() <= skip) return level;
  double sum = 0;
  for (std::size_t i = skip; i < all.size(); ++i) {
    sum += double(all[i]) * all[i];
    level.peak = std::max(level.peak, double(std::fabs(all[i])));
  }
  level.rms = std::sqrt(sum / double(all.size() - skip));
  return level;
}

bool SessionAudioStack::currentStack() {
  const char* stack = std::getenv("TAVUNO_AUDIO_STACK");
  return stack && std::string(stack) == "current";
}

std::string SessionAudioStack::wirePlumberState() const {
  std::ifstream in(root_ + "/state/wireplumber/" +
                   (currentStack() ? "stream-properties" : "restore-stream"));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string SessionAudioStack::sinkOf(pid_t pid) {
  auto inputs = run({"pactl", "list", "sink-inputs"});
  auto sinks = run({"pactl", "list", "short", "sinks"});
  if (!inputs || !sinks) return {};
  std::stringstream in(*inputs);
  std::string line, sink;
  const std::string mark = "application.process.id = \"" + std::to_string(pid) + "\"";
  while (std::getline(in, line)) {
    if (line.rfind("Sink Input #", 0) == 0) sink.clear();
    if (auto at = line.find("Sink: ");
        at != std::string::npos && line.find("Sink Input") == std::string::npos)
      sink = line.substr(at + 6);
    if (line.find(mark) != std::string::npos && !sink.empty()) {
      std::stringstream rows(*sinks);
      std::string row;
      while (std::getline(rows, row)) {
        std::stringstream cells(row);
        std::string index, name;
        cells >> index >> name;
        if (index == sink) return name;
      }
      return {};
    }
  }
  return {};
}

}  // namespace tavuno::test
