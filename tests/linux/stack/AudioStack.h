#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/Deadline.h"

namespace tavuno::test {

enum class AudioServerKind { pipewire, pulseaudio };
enum class AudioDeviceSet {
  // An HDMI output, built-in speakers, a USB DAC and a Bluetooth headset with its microphone;
  // the defaults are the speakers and the microphone.
  desktop,
  // Built-in speakers and a USB DAC; the default output is the speakers.
  session,
};
// Which server a stack runs and which devices it makes.
struct AudioStackOptions {
  AudioServerKind server = AudioServerKind::pipewire;
  AudioDeviceSet devices = AudioDeviceSet::desktop;
  // HOME in the stack's folder too (the session tests keep no trace in the real one).
  bool privateHome = false;
};

// A private audio stack for end-to-end tests and benchmarks: a session bus, PipeWire,
// WirePlumber and pipewire-pulse (or a real PulseAudio) in a temporary XDG_RUNTIME_DIR /
// XDG_STATE_HOME / XDG_CONFIG_HOME, exported to this process, so that libpulse and libpipewire
// in the tests reach it. Its devices are null sinks: no sound card is needed. It runs on
// whichever PipeWire stack $PATH leads to (scripts/audio-stack sets TAVUNO_AUDIO_STACK and the
// paths). Everything it starts is stopped by stop() or the destructor, and dies with this
// process if it crashes.
class AudioStack {
 public:
  using Server = AudioServerKind;
  using Devices = AudioDeviceSet;
  using Options = AudioStackOptions;

  struct Device {
    std::string name;  // the node name
    bool output = true;
    std::string properties;  // the null sink's sink_properties
  };
  static constexpr const char* hdmi = "alsa_output.pci-0000_00_1f.3.hdmi-stereo";
  static constexpr const char* speakers = "builtin_speakers";
  static constexpr const char* usbDac = "usb_dac";
  static constexpr const char* headset = "bluez_output.00_11_22_33_44_55.1";
  static constexpr const char* headsetMic = "bluez_input.00_11_22_33_44_55.0";
  static const std::vector<Device>& devicesOf(Devices devices);

  explicit AudioStack(Options options = {});
  ~AudioStack();
  AudioStack(const AudioStack&) = delete;
  AudioStack& operator=(const AudioStack&) = delete;

  // The one stack of this binary, started at the first call (later calls answer the same one,
  // whatever they ask) and stopped at exit, also after a failure; problem() says why it is not
  // up.
  static AudioStack& shared(Options options = {});

  // Starts the stack and its devices; on failure says why (a missing program, a server that did
  // not answer, with what the servers logged last) and leaves nothing running.
  std::optional<std::string> start();
  // Why the last start did not come up; empty when up.
  const std::string& problem() const { return problem_; }
  void stop();
  bool running() const { return !root_.empty(); }

  // Stops the audio server's processes with `signal` (SIGKILL: as in a crash; the session bus
  // stays), starts them again and makes the devices again.
  std::optional<std::string> restart(int signal = SIGTERM);
  // The two halves of restart(), for a test that needs the server gone for a while.
  void stopAudioServer(int signal = SIGTERM);
  std::optional<std::string> startAudioServer();
  bool audioServerRunning() const;

  // The pulse socket, as libpulse names a server.
  std::string pulseServer() const;
  const std::string& root() const { return root_; }
  pid_t pipewirePid() const { return pipewire_.pid(); }
  pid_t wireplumberPid() const { return wireplumber_.pid(); }
  pid_t pipewirePulsePid() const { return pipewirePulse_.pid(); }
  // The bus and the audio server's processes.
  std::vector<pid_t> serverPids() const;

  // Runs a command to its end (killed after `seconds`); its standard output, or nothing when it
  // failed.
  std::optional<std::string> run(const std::vector<std::string>& argv, double seconds = 30);
  // pactl on this stack's server.
  std::optional<std::string> pactl(const std::vector<std::string>& arguments);
  // Loads a null sink with the given node name and properties ("key=value" words, values quoted
  // as pactl wants); the module index.
  std::optional<std::uint32_t> loadNullSink(const std::string& name,
                                            const std::string& properties = "");
  bool unloadModule(std::uint32_t module);

  // Starts `argv` with extra environment, its output in the stack's log; its pid. Stopped with
  // the stack unless stopped before.
  pid_t spawn(const std::vector<std::string>& argv,
              const std::map<std::string, std::string>& env = {});
  // Sends `signal` to a process spawn() or a player started and waits for it (30 s, then it is
  // killed); whatever else it started is killed too.
  void stop(pid_t pid, int signal = SIGTERM);

  // A 440 Hz tone (peak 0.5, RMS 0.3536) of 60 s, and the same at 660 Hz.
  const std::string& tone() const { return tone_; }
  const std::string& higherTone() const { return higherTone_; }
  // paplay of the tone as an application with the given application.id and client name, on
  // `sink` or the default; its pid once its stream exists on the server.
  std::optional<pid_t> play(const std::string& appId, const std::string& clientName,
                            const std::string& sink = "");
  // The tone (660 Hz when `higher`) played over and over as application org.example.<app> by one
  // process (a shell whose streams declare its pid), optionally pinned to `sink`; waits until its
  // stream is on the server.
  pid_t playLoop(const std::string& app, const std::string& sink = "", bool higher = false);
  void stopPlayer(pid_t pid) { stop(pid); }
  void stopPlayers();

  // RMS and peak of what `sink` plays, over `seconds` after the first 0.1 s. `recorded`, when
  // given, counts the frames recorded so far (48 kHz), from the first that arrived: a test
  // times what it does by the recording, not by the clock.
  struct Level {
    double rms = 0;
    double peak = 0;
    bool recorded = false;  // false: the recording failed or came short
  };
  Level level(const std::string& sink, double seconds = 0.5,
              std::atomic<std::size_t>* recorded = nullptr);
  // The same of what a source (a microphone) records.
  Level sourceLevel(const std::string& source, double seconds = 0.5);
  // The RMS of what `sink` plays, nothing when recording failed.
  std::optional<double> rms(const std::string& sink, double seconds = 0.5);
  // The RMS of `sink` once it is within 0.01 of `expected`, or the last one measured in 15 s:
  // a start or a restart links its nodes a little after it returns, later on a loaded machine.
  double settledRms(const std::string& sink, double expected);
  // What `sink` plays for `seconds`, interleaved stereo at 48 kHz, from the start; shorter when
  // the recorder stopped or gave nothing for `seconds` + 10 s.
  std::vector<float> record(const std::string& sink, double seconds,
                            std::atomic<std::size_t>* recorded = nullptr);
  // Name of the sink the stream of process `pid` plays to; empty when none.
  std::string sinkOf(pid_t pid);

  // Whether the tests run on PipeWire 1.4 / WirePlumber 0.5 (TAVUNO_AUDIO_STACK=current, as
  // scripts/audio-stack sets it) rather than Debian 12's 0.3.65 / 0.4.
  static bool currentStack();
  // WirePlumber's stored stream volumes as it last wrote them: 0.4's restore-stream file, 0.5's
  // stream-properties.
  std::string wirePlumberState() const;
  // The last `lines` lines the stack's processes wrote, for a problem that needs them.
  std::string logTail(int lines) const;

  // Puts the PipeWire server in the state where it passes no change of the `default` metadata to
  // its clients any more: clients that bind the metadata are killed while WirePlumber, which
  // holds it, is stopped before answering their binding. False when the state was not reached.
  // The server is left so (PipeWire 0.3.65 restarted from that state can come up making no
  // sinks): a test that calls this is its binary's last.
  bool deafenMetadata();

 private:
  // What parec records from `device` (a source, or a sink's monitor).
  std::vector<float> recordDevice(const std::string& device, double seconds,
                                  std::atomic<std::size_t>* recorded);
  // The level of a stereo recording, its first 0.1 s left out.
  static Level levelOf(const std::vector<float>& samples);
  std::optional<std::string> startAudio();
  std::optional<std::string> makeDevices();
  std::optional<std::string> loadDevices();
  std::optional<std::string> runDevicesOnce();
  std::string serversReport();
  ChildProcess launch(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env = {});

  Options options_;
  std::string root_, tone_, higherTone_, silence_, problem_;
  ChildProcess bus_, pipewire_, wireplumber_, pipewirePulse_, pulseaudio_;
  std::map<pid_t, ChildProcess> children_;  // what spawn() and the players started
  std::set<pid_t> playerOnce_;              // those of them that are a single paplay
};

// The longest run of silent frames (both channels below 0.01) in a recording (stereo, 48 kHz)
// from sample `from`, in seconds; the tones never dwell that low for two frames in a row.
double longestSilence(const std::vector<float>& samples, std::size_t from);

// Where a recording fell silent, for a failure's message: its length, and the longest silent run
// from sample `from` with the time it starts, in ms from the recording's start.
std::string silenceReport(const std::vector<float>& samples, std::size_t from);

}  // namespace tavuno::test
