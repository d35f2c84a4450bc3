#include "linux/stack/AudioStack.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace tavuno::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool isSocket(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A 16-bit stereo WAV at 48 kHz of `seconds` of a sine at `amplitude` of full scale.
void writeTone(const std::string& path, double seconds, double hertz, double amplitude) {
  const std::uint32_t rate = 48000;
  const auto frames = static_cast<std::uint32_t>(std::lround(seconds * rate));
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
  std::vector<std::int16_t> second(2 * rate);
  for (std::uint32_t i = 0; i < rate; ++i) {
    const auto s = static_cast<std::int16_t>(
        std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hertz * i / rate)));
    second[2 * i] = second[2 * i + 1] = s;
  }
  for (std::uint32_t written = 0; written < frames;) {
    const std::uint32_t now = std::min(rate, frames - written);
    out.write(reinterpret_cast<const char*>(second.data()), static_cast<std::streamsize>(now * 4));
    written += now;
  }
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

bool listed(const std::string& list, const std::string& name) {
  return list.find("\t" + name + "\t") != std::string::npos;
}

}  // namespace

const std::vector<AudioStack::Device>& AudioStack::devicesOf(Devices devices) {
  static const std::string bt =
      "device.bus=bluetooth device.api=bluez5 "
      "api.bluez5.address=00:11:22:33:44:55 device.form_factor=headset";
  // HDMI comes first, so a wrong transport would make it the first "built-in" candidate.
  static const std::vector<Device> desktop{
      {hdmi, true,
       "device.description='HDMI / DisplayPort' device.bus=pci device.api=alsa "
       "device.form_factor=internal"},
      {speakers, true,
       "device.description='Built-in Speakers' device.bus=pci device.form_factor=internal "
       "device.api=alsa"},
      {usbDac, true, "device.description='USB DAC' device.bus=usb device.api=alsa"},
      {headset, true, "device.description='BT Headset' " + bt},
      // A source of its own (no monitor, no feed sink), as a headset's mic is.
      {headsetMic, false, "device.description='BT Headset Mic' " + bt},
  };
  static const std::vector<Device> session{
      {speakers, true, "device.description='Built-in' device.bus=pci device.api=alsa"},
      {usbDac, true, "device.description='USB' device.bus=usb device.api=alsa"},
  };
  return devices == Devices::desktop ? desktop : session;
}

AudioStack::AudioStack(Options options) : options_(options) {}

AudioStack::~AudioStack() {
  stop();
}

AudioStack& AudioStack::shared(Options options) {
  static AudioStack* stack = [options] {
    auto* s = new AudioStack(options);
    s->start();
    // Stopped at exit whatever the tests did; a fatal signal is left to the children's death
    // signal.
    std::atexit([] { delete stack; });
    return s;
  }();
  return *stack;
}

ChildProcess AudioStack::launch(const std::vector<std::string>& argv,
                                const std::map<std::string, std::string>& env) {
  return ChildProcess(argv, {.environment = env, .log = root_ + "/spawn.log"});
}

std::string AudioStack::pulseServer() const {
  return "unix:" + root_ + "/run/pulse/native";
}

std::vector<pid_t> AudioStack::serverPids() const {
  std::vector<pid_t> pids;
  for (const ChildProcess* child :
       {&bus_, &pipewire_, &wireplumber_, &pipewirePulse_, &pulseaudio_})
    if (child->started()) pids.push_back(child->pid());
  return pids;
}

bool AudioStack::audioServerRunning() const {
  return options_.server == Server::pipewire ? pipewirePulse_.started() : pulseaudio_.started();
}

std::optional<std::string> AudioStack::start() {
  std::vector<std::string> needed{"pactl", "paplay", "parec"};
  if (options_.server == Server::pipewire) {
    for (const char* program :
         {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pw-metadata"})
      needed.emplace_back(program);
  } else {
    needed.emplace_back("pulseaudio");
  }
  for (const auto& program : needed)
    if (!ChildProcess::find(program))
      return problem_ = program + " is not installed (scripts/bootstrap)";
  if (options_.server == Server::pulseaudio && options_.devices == Devices::desktop)
    return problem_ = "the desktop devices need PipeWire (the microphone is a null-sink source)";

  char pattern[] = "/tmp/tavuno-audio.XXXXXX";
  if (!::mkdtemp(pattern))
    return problem_ = std::string("no temporary directory: ") + strerror(errno);
  root_ = pattern;
  for (const char* dir : {"run", "state", "config", "home"})
    fs::create_directories(root_ + "/" + dir);
  fs::permissions(root_ + "/run", fs::perms::owner_all);
  // The pulse runtime folder exists before any server or client starts: pipewire-pulse 1.4
  // checks for it and then creates it, and a pactl asking in between (libpulse makes the folder
  // too) made it give up with "File exists".
  fs::create_directory(root_ + "/run/pulse");
  fs::permissions(root_ + "/run/pulse", fs::perms::owner_all);
  ::setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  ::setenv("PIPEWIRE_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  if (options_.privateHome) ::setenv("HOME", (root_ + "/home").c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root_ + "/run/bus").c_str(), 1);
  ::unsetenv("PULSE_SERVER");
  ::unsetenv("PIPEWIRE_REMOTE");
  tone_ = root_ + "/tone.wav";
  writeTone(tone_, 60, 440.0, 0.5);
  higherTone_ = root_ + "/higher.wav";
  writeTone(higherTone_, 60, 660.0, 0.5);
  silence_ = root_ + "/silence.wav";
  writeTone(silence_, 0.1, 440.0, 0.0);

  std::optional<std::string> failure;
  if (options_.server == Server::pipewire) {
    bus_ = launch({"dbus-daemon", "--session", "--address=unix:path=" + root_ + "/run/bus",
                   "--nofork", "--nopidfile"});
    if (!waitUntil([&] { return isSocket(root_ + "/run/bus"); }, 20))
      failure = "the session bus did not start (the log ends: " + logTail(6) + ")";
  }
  if (!failure) failure = startAudio();
  if (failure) {
    problem_ = *failure;
    stop();
    return failure;
  }
  problem_.clear();
  return std::nullopt;
}

std::string AudioStack::serversReport() {
  std::string servers;
  for (ChildProcess* child : {&bus_, &pipewire_, &wireplumber_, &pipewirePulse_, &pulseaudio_}) {
    if (!child->started()) continue;
    const pid_t pid = child->pid();
    const std::optional<int> status = child->running() ? std::nullopt : child->wait(0);
    servers += " " + std::to_string(pid) + ":" +
               (!status         ? std::string("running")
                : *status < 0   ? std::string("ended")
                : *status < 128 ? "exited " + std::to_string(*status)
                                : "killed by " + std::to_string(*status - 128));
  }
  return servers;
}

std::optional<std::string> AudioStack::startAudio() {
  const std::string run = root_ + "/run";
  if (options_.server == Server::pipewire) {
    pipewire_ = launch({"pipewire"});
    if (!waitUntil([&] { return isSocket(run + "/pipewire-0"); }, 20))
      return "pipewire did not start (the servers' log ends: " + logTail(8) + ")";
    wireplumber_ = launch({"wireplumber"});
    pipewirePulse_ = launch({"pipewire-pulse"});
  } else {
    const std::string config = root_ + "/default.pa";
    std::ofstream(config) << "load-module module-native-protocol-unix\n"
                             "load-module module-stream-restore\n"
                             "load-module module-always-sink\n";
    pulseaudio_ = launch({"pulseaudio", "-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                          "--disallow-exit", "--use-pid-file=no"});
  }
  if (!waitUntil([&] { return pactl({"info"}).has_value(); }, 30))
    // Which server gave up, if one did, and what the servers said last.
    return "the pulse socket did not answer within 30 s (servers:" + serversReport() +
           "; the servers' log ends: " + logTail(8) + ")";
  // WirePlumber's policy runs once it has made its stand-in sink.
  if (options_.server == Server::pipewire &&
      !waitUntil(
          [&] {
            return !pactl({"list", "short", "sinks"}).value_or("").empty();
          },
          30))
    return "wireplumber did not start within 30 s (the servers' log ends: " + logTail(8) + ")";
  return makeDevices();
}

std::optional<std::string> AudioStack::loadDevices() {
  const auto& devices = devicesOf(options_.devices);
  std::vector<Clock::time_point> loaded(devices.size());
  // A loaded module's device can appear a moment after pactl returns (PipeWire makes its node on
  // its own loop), and a server that answers can still lose or refuse a load while it comes up
  // (seen after a restart under load): a device that has not appeared a while after its load is
  // loaded again, its earlier module unloaded first so that no second device of the name
  // appears.
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  std::string sinks, sources, lastLoad;
  for (;;) {
    sinks = pactl({"list", "short", "sinks"}).value_or("(listing failed)");
    sources = pactl({"list", "short", "sources"}).value_or("(listing failed)");
    bool all = true;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < devices.size(); ++i) {
      const Device& device = devices[i];
      if (listed(device.output ? sinks : sources, device.name)) continue;
      all = false;
      if (now - loaded[i] < std::chrono::seconds(5)) continue;
      const std::string argument = "sink_name=" + device.name;
      std::istringstream modules(pactl({"list", "short", "modules"}).value_or(""));
      for (std::string line; std::getline(modules, line);)
        if (line.find("module-null-sink") != std::string::npos &&
            line.find(argument + " ") != std::string::npos)
          pactl({"unload-module", line.substr(0, line.find('\t'))});
      std::vector<std::string> load{"load-module", "module-null-sink"};
      if (!device.output) load.emplace_back("media.class=Audio/Source/Virtual");
      load.push_back(argument);
      load.push_back("sink_properties=\"" + device.properties + "\"");
      lastLoad = device.name + (pactl(load) ? " loaded" : " refused");
      loaded[i] = now;
    }
    if (all) return std::nullopt;
    if (Clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "the devices did not appear (last load: " + lastLoad + "; sinks: " + sinks +
         "; the servers' log ends: " + logTail(6) + ")";
}

std::optional<std::string> AudioStack::makeDevices() {
  if (auto failure = loadDevices()) return failure;
  // Listed is not yet always accepted as a default, and accepted is not yet in force (the
  // session manager makes it the default a moment later): asked again until the server reports
  // it, so every test starts from the defaults in force.
  const bool withMic = options_.devices == Devices::desktop;
  if (!waitUntil(
          [&] {
            if (!pactl({"set-default-sink", speakers})) return false;
            if (withMic && !pactl({"set-default-source", headsetMic})) return false;
            return trimmed(pactl({"get-default-sink"}).value_or("")) == speakers &&
                   (!withMic || trimmed(pactl({"get-default-source"}).value_or("")) == headsetMic);
          },
          10))
    return "the server did not take the defaults";
  if (auto failure = runDevicesOnce()) return failure;
  if (options_.server == Server::pipewire &&
      !waitUntil(
          [&] {
            // WirePlumber is ready once it has named the default sink and holds the restore
            // data: the sessions steer and seed through those two metadata objects.
            auto defaults = run({"pw-metadata", "-n", "default", "0", "default.audio.sink"});
            auto routes = run({"pw-metadata", "-n", "route-settings"});
            return defaults && defaults->find(speakers) != std::string::npos && routes &&
                   routes->find("route-settings") != std::string::npos;
          },
          30))
    return "WirePlumber did not take over the graph";
  return std::nullopt;
}

std::optional<std::string> AudioStack::runDevicesOnce() {
  // PipeWire 1.x holds a volume or mute write to a virtual device that has never run until it
  // first runs (a real card is not affected): each device runs once, so that volume and mute
  // mean the same on every stack from the start.
  for (const auto& device : devicesOf(options_.devices)) {
    const bool ran =
        device.output
            ? run({"paplay", "--server=" + pulseServer(), "--device=" + device.name, silence_}, 15)
                  .has_value()
            : run({"sh", "-c",
                   "parec --server=" + pulseServer() + " --device=" + device.name +
                       " --raw | head -c 19200 >/dev/null"},
                  15)
                  .has_value();
    if (!ran) return "the device " + device.name + " did not run once";
  }
  return std::nullopt;
}

std::optional<std::string> AudioStack::restart(int signal) {
  stopAudioServer(signal);
  return startAudioServer();
}

void AudioStack::stopAudioServer(int signal) {
  // A single paplay does not outlive its server; a player loop plays again once it is back.
  std::vector<pid_t> players;
  for (const auto& [pid, child] : children_)
    if (playerOnce_.count(pid)) players.push_back(pid);
  for (pid_t pid : players)
    stop(pid);
  for (ChildProcess* server : {&pipewirePulse_, &wireplumber_, &pipewire_, &pulseaudio_})
    server->stop(signal);
  // A killed pipewire leaves its socket and lock behind.
  std::error_code ignored;
  fs::remove(root_ + "/run/pipewire-0", ignored);
  fs::remove(root_ + "/run/pipewire-0.lock", ignored);
}

std::optional<std::string> AudioStack::startAudioServer() {
  return startAudio();
}

void AudioStack::stop() {
  for (auto& [pid, child] : children_)
    child.stop(SIGKILL);
  children_.clear();
  playerOnce_.clear();
  for (ChildProcess* server : {&pipewirePulse_, &wireplumber_, &pipewire_, &pulseaudio_, &bus_})
    server->stop();
  if (!root_.empty()) {
    // TAVUNO_KEEP_AUDIO_STACK keeps the folder and the processes' log (spawn.log) to look at.
    std::error_code ignored;
    if (!std::getenv("TAVUNO_KEEP_AUDIO_STACK")) fs::remove_all(root_, ignored);
    root_.clear();
  }
}

pid_t AudioStack::spawn(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env) {
  ChildProcess child = launch(argv, env);
  if (!child.started()) return -1;
  const pid_t pid = child.pid();
  children_.emplace(pid, std::move(child));
  return pid;
}

void AudioStack::stop(pid_t pid, int signal) {
  if (pid <= 0) return;
  playerOnce_.erase(pid);
  auto it = children_.find(pid);
  if (it == children_.end()) return;
  it->second.stop(signal, 30);
  children_.erase(it);
}

std::optional<std::string> AudioStack::run(const std::vector<std::string>& argv, double seconds) {
  return outputOf(argv, seconds);
}

std::optional<std::string> AudioStack::pactl(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{"pactl", "--server=" + pulseServer()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return run(command, 15);
}

std::optional<std::uint32_t> AudioStack::loadNullSink(const std::string& name,
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

bool AudioStack::unloadModule(std::uint32_t module) {
  return pactl({"unload-module", std::to_string(module)}).has_value();
}

std::optional<pid_t> AudioStack::play(const std::string& appId, const std::string& clientName,
                                      const std::string& sink) {
  std::vector<std::string> command{"paplay", "--server=" + pulseServer(),
                                   "--client-name=" + clientName};
  if (!sink.empty()) command.push_back("--device=" + sink);
  command.push_back(tone_);
  const pid_t pid = spawn(command, {{"PULSE_PROP", "application.id=" + appId}});
  if (pid <= 0) return std::nullopt;
  playerOnce_.insert(pid);
  const std::string mark = "application.process.id = \"" + std::to_string(pid) + "\"";
  if (!waitUntil(
          [&] {
            return pactl({"list", "sink-inputs"}).value_or("").find(mark) != std::string::npos;
          },
          20))
    return std::nullopt;
  return pid;
}

pid_t AudioStack::playLoop(const std::string& app, const std::string& sink, bool higher) {
  // A shell that plays the tone again whenever it ends, its streams declaring the shell's pid:
  // one process for as long as a test needs.
  const std::string device = sink.empty() ? "" : " --device=" + sink;
  const std::string command = "while :; do PULSE_PROP=\"application.id=org.example." + app +
                              " application.process.id=$$\" paplay --client-name=" + app + device +
                              " " + (higher ? higherTone_ : tone_) + "; done";
  const pid_t pid = spawn({"sh", "-c", command});
  waitUntil([&] { return !sinkOf(pid).empty(); }, 20);
  return pid;
}

void AudioStack::stopPlayers() {
  std::vector<pid_t> players;
  for (const auto& [pid, child] : children_)
    players.push_back(pid);
  for (pid_t pid : players)
    stop(pid);
}

std::vector<float> AudioStack::record(const std::string& sink, double seconds,
                                      std::atomic<std::size_t>* recorded) {
  return recordDevice(sink + ".monitor", seconds, recorded);
}

std::vector<float> AudioStack::recordDevice(const std::string& device, double seconds,
                                            std::atomic<std::size_t>* recorded) {
  ChildProcess recorder({"parec", "--device=" + device, "--format=float32le", "--channels=2",
                         "--rate=48000", "--raw", "--latency-msec=10"},
                        {.pipeOutput = true});
  const std::size_t want = static_cast<std::size_t>(seconds * 48000) * 8;
  std::vector<char> data;
  data.reserve(want);
  char buffer[8192];
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds + 10);
  while (data.size() < want) {
    const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    const std::size_t n =
        left > 0 ? recorder.read(buffer, std::min(sizeof buffer, want - data.size()), left) : 0;
    if (n == 0) break;
    data.insert(data.end(), buffer, buffer + n);
    if (recorded) *recorded = data.size() / 8;
  }
  recorder.stop();
  std::vector<float> samples(data.size() / 4);
  std::memcpy(samples.data(), data.data(), samples.size() * 4);
  return samples;
}

AudioStack::Level AudioStack::level(const std::string& sink, double seconds,
                                    std::atomic<std::size_t>* recorded) {
  return levelOf(record(sink, 0.1 + seconds, recorded));
}

AudioStack::Level AudioStack::sourceLevel(const std::string& source, double seconds) {
  return levelOf(recordDevice(source, 0.1 + seconds, nullptr));
}

AudioStack::Level AudioStack::levelOf(const std::vector<float>& all) {
  Level level;
  const std::size_t skip = 4800 * 2;
  if (all.size() <= skip) return level;
  double sum = 0;
  for (std::size_t i = skip; i < all.size(); ++i) {
    sum += double(all[i]) * all[i];
    level.peak = std::max(level.peak, double(std::fabs(all[i])));
  }
  level.rms = std::sqrt(sum / double(all.size() - skip));
  level.recorded = true;
  return level;
}

std::optional<double> AudioStack::rms(const std::string& sink, double seconds) {
  const Level measured = level(sink, seconds);
  if (!measured.recorded) return std::nullopt;
  return measured.rms;
}

double AudioStack::settledRms(const std::string& sink, double expected) {
  double rms = 0;
  waitUntil(
      [&] {
        rms = level(sink).rms;
        return std::abs(rms - expected) <= 0.01;
      },
      15);
  return rms;
}

std::string AudioStack::sinkOf(pid_t pid) {
  auto inputs = pactl({"list", "sink-inputs"});
  auto sinks = pactl({"list", "short", "sinks"});
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

bool AudioStack::currentStack() {
  const char* stack = std::getenv("TAVUNO_AUDIO_STACK");
  return stack && std::string(stack) == "current";
}

std::string AudioStack::wirePlumberState() const {
  std::ifstream in(root_ + "/state/wireplumber/" +
                   (currentStack() ? "stream-properties" : "restore-stream"));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string AudioStack::logTail(int lines) const {
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

bool AudioStack::deafenMetadata() {
  if (options_.server != Server::pipewire || !wireplumber_.started()) return false;
  const std::string wireplumber = std::to_string(wireplumber_.pid());
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
  const bool deaf = run({"bash", "-c", script}, 600).has_value();
  ::kill(wireplumber_.pid(), SIGCONT);
  return deaf;
}

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

}  // namespace tavuno::test
