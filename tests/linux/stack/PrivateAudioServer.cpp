#include "linux/stack/PrivateAudioServer.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace tavuno::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool onPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// argv and envp as exec wants them, built before fork (the child may only
// make async-signal-safe calls: this process has other threads).
struct ExecArgs {
  std::vector<std::string> argvStorage, envStorage;
  std::vector<char*> argv, envp;
  ExecArgs(const std::vector<std::string>& arguments, const std::vector<std::string>& extra)
      : argvStorage(arguments) {
    for (char** e = environ; *e; ++e)
      envStorage.emplace_back(*e);
    for (const auto& assignment : extra)
      envStorage.push_back(assignment);
    for (auto& a : argvStorage)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStorage)
      envp.push_back(e.data());
    envp.push_back(nullptr);
  }
};

// Forks a child in its own process group that dies with this process, its
// output going to `outFd` (or /dev/null).
pid_t forkExec(ExecArgs& args, int outFd) {
  const pid_t parent = getpid();
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(devNull, 0);
    dup2(outFd >= 0 ? outFd : devNull, 1);
    dup2(outFd >= 0 ? outFd : devNull, 2);
    close_range(3, ~0U, 0);
    execvpe(args.argv[0], args.argv.data(), args.envp.data());
    _exit(127);
  }
  if (devNull >= 0) close(devNull);
  return pid;
}

// Waits for a child up to `seconds`; its exit status, or nothing (it is then
// killed with its group).
std::optional<int> reap(pid_t pid, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    if (done < 0) return std::nullopt;
    if (Clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Runs a command to completion; its standard output when it exits with 0.
std::optional<std::string> capture(const std::vector<std::string>& arguments, double seconds,
                                   const std::vector<std::string>& environment = {}) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  ExecArgs args(arguments, environment);
  const pid_t pid = forkExec(args, pipeFds[1]);
  close(pipeFds[1]);
  std::string out;
  char buffer[4096];
  fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  std::optional<int> status;
  for (;;) {
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<std::size_t>(n));
    int raw = 0;
    const pid_t done = waitpid(pid, &raw, WNOHANG);
    if (done == pid) {
      while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
      break;
    }
    if (Clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &raw, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  close(pipeFds[0]);
  if (status != 0) return std::nullopt;
  return out;
}

void terminate(pid_t& pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  if (!reap(pid, 2.0)) kill(-pid, SIGKILL);
  pid = 0;
}

bool isSocket(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

const std::vector<PrivateAudioServer::Device>& PrivateAudioServer::standardDevices() {
  static const std::vector<Device> devices{
      {hdmi, true}, {speakers, true}, {usbDac, true}, {headset, true}, {headsetMic, false}};
  return devices;
}

PrivateAudioServer::~PrivateAudioServer() {
  stop();
}

pid_t PrivateAudioServer::spawn(const std::vector<std::string>& argv, const std::string& log,
                                const std::vector<std::string>& environment) {
  const int fd = open((root_ + "/" + log).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  ExecArgs args(argv, environment);
  const pid_t pid = forkExec(args, fd);
  if (fd >= 0) close(fd);
  return pid;
}

std::string PrivateAudioServer::pulseServer() const {
  return "unix:" + root_ + "/run/pulse/native";
}

std::optional<std::string> PrivateAudioServer::start() {
  for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pactl",
                              "paplay", "parec", "sox"})
    if (!onPath(program)) return std::string(program) + " is not installed (scripts/bootstrap)";

  char pattern[] = "/tmp/tavuno-audio.XXXXXX";
  if (!mkdtemp(pattern)) return std::string("no temporary directory: ") + strerror(errno);
  root_ = pattern;
  for (const char* dir : {"run", "state", "config"})
    fs::create_directories(root_ + "/" + dir);
  fs::permissions(root_ + "/run", fs::perms::owner_all);
  // Made before the servers start: pipewire-pulse 1.4 gives up when a
  // client (libpulse makes the folder too) creates it between its check
  // and its own mkdir.
  fs::create_directory(root_ + "/run/pulse");
  fs::permissions(root_ + "/run/pulse", fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  setenv("PIPEWIRE_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root_ + "/run/bus").c_str(), 1);
  unsetenv("PULSE_SERVER");
  unsetenv("PIPEWIRE_REMOTE");

  bus_ = spawn({"dbus-daemon", "--session", "--address=unix:path=" + root_ + "/run/bus", "--nofork",
                "--nopidfile"},
               "dbus.log");
  if (!waitUntil([&] { return isSocket(root_ + "/run/bus"); }, 20)) {
    stop();
    return "the session bus did not start";
  }
  if (auto failure = startAudio()) {
    stop();
    return failure;
  }
  tone_ = root_ + "/tone.wav";
  if (!capture({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone_, "synth", "60", "sine",
                "440", "vol", "0.5"},
               30)) {
    stop();
    return "sox could not make the test tone";
  }
  return std::nullopt;
}

std::optional<std::string> PrivateAudioServer::startAudio() {
  pipewire_ = spawn({"pipewire"}, "pipewire.log");
  if (!waitUntil([&] { return isSocket(root_ + "/run/pipewire-0"); }, 20))
    return "pipewire did not start (see " + root_ + "/pipewire.log)";
  wireplumber_ = spawn({"wireplumber"}, "wireplumber.log");
  pipewirePulse_ = spawn({"pipewire-pulse"}, "pipewire-pulse.log");
  if (!waitUntil([&] { return pactl({"info"}).has_value(); }, 30))
    return "pipewire-pulse did not answer within 30 s";
  // WirePlumber's policy runs once it has made its stand-in sink.
  if (!waitUntil([&] { return !pactl({"list", "short", "sinks"}).value_or("").empty(); }, 30))
    return "wireplumber did not start within 30 s";
  return createDevices();
}

std::optional<std::string> PrivateAudioServer::createDevices() {
  struct Module {
    std::vector<std::string> arguments;
  };
  const std::string bt =
      "device.bus=bluetooth device.api=bluez5 "
      "api.bluez5.address=00:11:22:33:44:55 device.form_factor=headset";
  // HDMI comes first, so a wrong transport would make it the first
  // "built-in" candidate.
  const std::vector<Module> modules{
      {{"module-null-sink", std::string("sink_name=") + hdmi,
        "sink_properties=\"device.description='HDMI / DisplayPort' device.bus=pci "
        "device.api=alsa device.form_factor=internal\""}},
      {{"module-null-sink", std::string("sink_name=") + speakers,
        "sink_properties=\"device.description='Built-in Speakers' device.bus=pci "
        "device.form_factor=internal device.api=alsa\""}},
      {{"module-null-sink", std::string("sink_name=") + usbDac,
        "sink_properties=\"device.description='USB DAC' device.bus=usb device.api=alsa\""}},
      {{"module-null-sink", std::string("sink_name=") + headset,
        "sink_properties=\"device.description='BT Headset' " + bt + "\""}},
      // A source of its own (no monitor, no feed sink), as a headset's mic is.
      {{"module-null-sink", "media.class=Audio/Source/Virtual",
        std::string("sink_name=") + headsetMic,
        "sink_properties=\"device.description='BT Headset Mic' " + bt + "\""}},
  };
  for (const auto& module : modules) {
    std::vector<std::string> arguments{"load-module"};
    arguments.insert(arguments.end(), module.arguments.begin(), module.arguments.end());
    if (!pactl(arguments)) return "pactl load-module " + module.arguments[1] + " failed";
  }
  // A loaded module's device can appear a moment after pactl returns (PipeWire makes its node
  // on its own loop): wait for every one before making two of them the defaults.
  const bool ready = waitUntil(
      [&] {
        const std::string sinks = pactl({"list", "short", "sinks"}).value_or("");
        const std::string sources = pactl({"list", "short", "sources"}).value_or("");
        for (const char* sink : {hdmi, speakers, usbDac, headset})
          if (sinks.find(std::string("\t") + sink + "\t") == std::string::npos) return false;
        return sources.find(std::string("\t") + headsetMic + "\t") != std::string::npos;
      },
      20);
  if (!ready) return "the devices did not appear";
  // Listed is not yet always accepted as a default, and accepted is not yet in force (the
  // session manager makes it the default a moment later): asked again until the server reports
  // both, so every test starts from the defaults in force.
  const auto line = [&](const char* command) {
    std::string text = pactl({command}).value_or("");
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
      text.pop_back();
    return text;
  };
  if (!waitUntil(
          [&] {
            return pactl({"set-default-sink", speakers}) &&
                   pactl({"set-default-source", headsetMic}) &&
                   line("get-default-sink") == speakers && line("get-default-source") == headsetMic;
          },
          10))
    return "the server did not take the defaults";
  return runDevicesOnce();
}

std::optional<std::string> PrivateAudioServer::runDevicesOnce() {
  // PipeWire 1.x holds a volume or mute write to a virtual device that has never run until it
  // first runs (a real card is not affected): each device runs once, so that volume and mute
  // mean the same on every stack from the start.
  const std::string silence = root_ + "/silence.wav";
  if (!capture({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", silence, "trim", "0", "0.1"},
               30))
    return "sox could not make the silent warm-up";
  for (const auto& device : standardDevices()) {
    const bool ran =
        device.output
            ? capture({"paplay", "--server=" + pulseServer(), "--device=" + device.name, silence},
                      15)
                  .has_value()
            : capture({"sh", "-c",
                       "parec --server=" + pulseServer() + " --device=" + device.name +
                           " --raw | head -c 19200 >/dev/null"},
                      15)
                  .has_value();
    if (!ran) return "the device " + device.name + " did not run once";
  }
  return std::nullopt;
}

void PrivateAudioServer::stopPlayers() {
  for (pid_t pid : players_)
    terminate(pid);
  players_.clear();
}

std::optional<std::string> PrivateAudioServer::restart() {
  stopAudioServer();
  return startAudioServer();
}

void PrivateAudioServer::stopAudioServer() {
  stopPlayers();
  stopAudio();
}

std::optional<std::string> PrivateAudioServer::startAudioServer() {
  return startAudio();
}

void PrivateAudioServer::stopAudio() {
  terminate(pipewirePulse_);
  terminate(wireplumber_);
  terminate(pipewire_);
}

void PrivateAudioServer::stop() {
  stopPlayers();
  stopAudio();
  terminate(bus_);
  if (!root_.empty()) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    root_.clear();
  }
}

std::optional<std::string> PrivateAudioServer::pactl(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{"pactl", "--server=" + pulseServer()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return capture(command, 15);
}

std::optional<std::uint32_t> PrivateAudioServer::loadNullSink(const std::string& name,
                                                              const std::string& properties) {
  std::vector<std::string> arguments{"load-module", "module-null-sink", "sink_name=" + name};
  if (!properties.empty()) arguments.push_back("sink_properties=\"" + properties + "\"");
  auto out = pactl(arguments);
  if (!out) return std::nullopt;
  try {
    return static_cast<std::uint32_t>(std::stoul(*out));
  } catch (...) {
    return std::nullopt;
  }
}

bool PrivateAudioServer::unloadModule(std::uint32_t module) {
  return pactl({"unload-module", std::to_string(module)}).has_value();
}

std::optional<pid_t> PrivateAudioServer::play(const std::string& appId,
                                              const std::string& clientName,
                                              const std::string& sink) {
  std::vector<std::string> command{"paplay", "--server=" + pulseServer(),
                                   "--client-name=" + clientName};
  if (!sink.empty()) command.push_back("--device=" + sink);
  command.push_back(tone_);
  const pid_t pid = spawn(command, "players.log", {"PULSE_PROP=application.id=" + appId});
  if (pid <= 0) return std::nullopt;
  players_.push_back(pid);
  const std::string mark = "application.process.id = \"" + std::to_string(pid) + "\"";
  if (!waitUntil(
          [&] {
            return pactl({"list", "sink-inputs"}).value_or("").find(mark) != std::string::npos;
          },
          20))
    return std::nullopt;
  return pid;
}

void PrivateAudioServer::stopPlayer(pid_t pid) {
  for (auto it = players_.begin(); it != players_.end(); ++it) {
    if (*it != pid) continue;
    terminate(*it);
    players_.erase(it);
    return;
  }
}

std::optional<double> PrivateAudioServer::rms(const std::string& sink, double seconds) {
  std::ostringstream script;
  script << "timeout " << seconds + 1.0 << " parec --server=" << pulseServer() << " -d " << sink
         << ".monitor --format=float32le --channels=2 --rate=48000 --raw --latency-msec=20"
         << " | sox -t raw -r 48000 -e floating-point -b 32 -c 2 - -n trim 0.1 " << seconds
         << " stat 2>&1";
  auto out = capture({"sh", "-c", script.str()}, seconds + 5);
  if (!out) return std::nullopt;
  const auto at = out->find("RMS     amplitude:");
  if (at == std::string::npos) return std::nullopt;
  try {
    return std::stod(out->substr(at + 18));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace tavuno::test
