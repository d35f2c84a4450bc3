#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PulseConnection.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"
#include "platform/linux/SteeredSession.h"
#include "platform/linux/TapGlue.h"

struct pa_stream;

namespace tavuno {

class PulseGuardian;

struct PulseSessionPorts {
  const SessionControlPlane& plane;
  SteerJournal& journal;
  // Told of the null sink, so that it is unloaded and the streams go back should Tavuno be
  // killed; none: only the next Tavuno's start-up sweep does that.
  PulseGuardian* guardian = nullptr;
};

// The per-application path on a real PulseAudio server (no PipeWire): a null sink per
// application as the tap, its monitor recorded and played to the output at 30 ms through the
// kernel, and the application's sink-inputs moved into it by index, each move verified. A
// follower thread moves the application's new sink-inputs too and takes back one another
// program moved away (that choice is what stop() puts back). Moves are recorded in the journal
// first. A null sink outlives a Tavuno that is killed: the guardian (PulseGuardian.h), told of
// each one, moves the streams back and unloads it at once, and sweepPulseTaps (PulseSweep.h)
// at the next start does what no guardian did.
//
// Threads: as SteeredSession. The record callback runs the kernel on the connection's loop
// thread, into the playback's own write buffer.
class PulseSession final : public SteeredSession {
 public:
  static constexpr std::uint32_t latencyMs = 30;

  explicit PulseSession(PulseSessionPorts ports);
  ~PulseSession() override;

  // The stream-restore entry name PulseAudio looks a stream with these properties up by.
  static std::string restoreEntry(const std::map<std::string, std::string>& props);

  struct Rt;

 private:
  struct Input {
    std::uint32_t index = 0;
    std::uint32_t sink = 0;
    std::int32_t pid = 0;
    bool ours = false;
    float volume = 1.0f;  // the loudest channel, linear
    bool muted = false;   // the stream's own mute
    std::map<std::string, std::string> props;
  };
  struct Sink {
    std::uint32_t index = 0;
    std::string name;
    std::int32_t ownerPid = 0;  // tavuno.owner.pid and .start: a null sink of a Tavuno's
    std::uint64_t ownerStart = 0;
  };

  std::optional<SessionFailure> open(const SessionControlPlane::Output& output) override;
  void turn() override;
  double beatSeconds() const override;
  void beat() override;
  bool serverUp() const override;
  void seedBeforeStop() override;
  bool restore(std::uint32_t index, const Steered& steered) override;
  void release() override;
  bool streamsBroken() const override;

  std::vector<Input> listInputs();
  void setInputMute(std::uint32_t index, bool muted);
  std::vector<Sink> listSinks(std::string& defaultSink);
  std::optional<SessionFailure> move(const Input& input, const std::vector<Sink>& sinks,
                                     const std::string& defaultSink);
  bool moveTo(std::uint32_t input, const std::string& sink);
  // Whether the input plays into the null sink of another running Tavuno (ownedByRival).
  static bool onRivalSink(const Input& input, const std::vector<Sink>& sinks);
  void keepLevels(const std::vector<Input>& inputs);

  PulseSessionPorts ports_;
  std::unique_ptr<PulseConnection> connection_;
  std::unique_ptr<Rt> rt_;
  std::uint32_t tapIndex_ = 0;
  std::uint32_t serverCookie_ = 0;  // the server run the records are of (SteerRecord::server)
  std::uint32_t module_ = 0;
  bool moduleLoaded_ = false;
};

}  // namespace tavuno
