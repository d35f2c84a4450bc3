#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Deadline.h"

namespace tavuno::test {

// A private audio server for the session tests: dbus, pipewire, wireplumber and
// pipewire-pulse (or, with `pulse`, a real PulseAudio) in a temporary runtime directory, with
// null sinks that stand for the built-in speakers and a USB DAC. The test process's own
// environment points at it, so libpipewire and libpulse in the tests reach it. Everything it
// starts is stopped when the binary ends, also after a failure.
class SessionAudioStack {
 public:
  enum class Server { pipewire, pulseaudio };

  // Starts the stack once per binary; later calls answer the same one.
  static SessionAudioStack& get(Server server = Server::pipewire);
  // Why the stack is not up (a program missing, a start that timed out); empty when up.
  const std::string& problem() const { return problem_; }
  const std::string& root() const { return root_; }
  const std::string& tone() const { return tone_; }
  const std::vector<pid_t>& serverPids() const { return serverPids_; }

  // Starts `argv` with extra environment; its pid. Stopped at the end unless stopped before.
  pid_t spawn(const std::vector<std::string>& argv,
              const std::map<std::string, std::string>& env = {});
  // SIGTERM (or `signal`), then waits for it; whatever else it started is killed.
  void stop(pid_t pid, int signal = 15);
  // Runs a command to its end; its standard output, or nothing when it failed.
  std::optional<std::string> run(const std::vector<std::string>& argv);

  // A 440 Hz tone (peak 0.5, RMS 0.3536; 660 Hz when `higher`) played over and over as
  // application org.example.<app> by one process, optionally pinned to `sink`; waits until its
  // stream is on the server.
  pid_t play(const std::string& app, const std::string& sink = "", bool higher = false);
  // RMS and peak of what `sink` plays, over `seconds` after the first 0.1 s. `started`, when
  // given, turns true once the first samples arrived (the recorder runs from then on).
  struct Level {
    double rms = 0;
    double peak = 0;
  };
  Level level(const std::string& sink, double seconds = 0.5, std::atomic<bool>* started = nullptr);
  // The RMS of `sink` once it is within 0.01 of `expected`, or the last one measured in 15 s:
  // a start or a restart links its nodes a little after it returns, later on a loaded machine.
  double settledRms(const std::string& sink, double expected);
  // What `sink` plays for `seconds`, interleaved stereo at 48 kHz, from the start.
  std::vector<float> record(const std::string& sink, double seconds,
                            std::atomic<bool>* started = nullptr);
  // Name of the sink the stream of process `pid` plays to; empty when none.
  std::string sinkOf(pid_t pid);

  // Whether the tests run on PipeWire 1.4 / WirePlumber 0.5 (TAVUNO_AUDIO_STACK=current, as
  // scripts/audio-stack sets it) rather than Debian 12's 0.3.65 / 0.4.
  static bool currentStack();
  // WirePlumber's stored stream volumes as it last wrote them: 0.4's restore-stream file, 0.5's
  // stream-properties.
  std::string wirePlumberState() const;

  // Kills the three server processes and starts them again with the same sinks.
  bool restartServer();
  // Puts the PipeWire server in the state where it passes no change of the `default`
  // metadata to its clients any more: clients that bind the metadata are killed while
  // WirePlumber, which holds it, is stopped before answering their binding. False when the
  // state was not reached. The server is left so: a test that calls this is its binary's last.
  bool deafenMetadata();

 private:
  SessionAudioStack() = default;
  ~SessionAudioStack();
  bool start(Server server);
  bool startServer();
  bool loadTestSinks();
  // The last `lines` lines the servers wrote, for a problem that needs them.
  std::string logTail(int lines) const;
  void stopServer();

  Server server_ = Server::pipewire;
  std::string root_;
  std::string tone_;
  std::string higherTone_;
  std::string silence_;
  std::string problem_;
  std::vector<pid_t> serverPids_;
  std::vector<pid_t> children_;
};

// The longest run of silent frames (both channels below 0.01) in a recording (stereo, 48 kHz)
// from sample `from`, in seconds; the tones never dwell that low for two frames in a row.
double longestSilence(const std::vector<float>& samples, std::size_t from);

// Where a recording fell silent, for a failure's message: its length, and the longest silent run
// from sample `from` with the time it starts, in ms from the recording's start.
std::string silenceReport(const std::vector<float>& samples, std::size_t from);

}  // namespace tavuno::test
