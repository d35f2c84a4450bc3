#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/SteerRecord.h"

namespace tavuno {

// What a Tavuno tells its PulseAudio guardian over the guardian's standard input, one line
// each: `tap <module> <sink>` once module-null-sink <module> has loaded the tap named <sink>,
// `untap <module>` once it is gone. The guardian keeps the taps still loaded; at end of file
// (Tavuno has died, however it died) those are what it may undo.
class GuardianLog {
 public:
  // Longer lines are not Tavuno's: dropped whole, up to their newline.
  static constexpr std::size_t longestLine = 512;

  void feed(std::string_view bytes);
  // module index → tap sink name, of the taps loaded and not unloaded.
  const std::map<std::uint32_t, std::string>& taps() const { return taps_; }

  static std::string tapLine(std::uint32_t module, const std::string& sink);
  static std::string untapLine(std::uint32_t module);

 private:
  void line(std::string_view text);

  std::string partial_;
  bool overlong_ = false;
  std::map<std::uint32_t, std::string> taps_;
};

// The Tavuno process a guardian watches: its pid and start time (processStartTime).
struct GuardianOwner {
  std::int32_t pid = 0;
  std::uint64_t start = 0;
};

// The server as the guardian finds it after the owner died.
struct PulseServerView {
  struct Module {
    std::uint32_t index = 0;
    std::string name;  // e.g. "module-null-sink"
  };
  struct Sink {
    std::uint32_t index = 0;
    std::string name;
    std::uint32_t ownerModule = 0;  // PA_INVALID_INDEX when no module owns it
    std::int32_t ownerPid = 0;      // tavuno.owner.pid and .start, 0 when not carried
    std::uint64_t ownerStart = 0;
  };
  struct Input {
    std::uint32_t index = 0;
    std::uint32_t sink = 0;
  };
  std::vector<Module> modules;
  std::vector<Sink> sinks;
  std::vector<Input> inputs;
  std::string defaultSink;
};

struct GuardianPlan {
  struct Move {
    std::uint32_t input = 0;
    std::string sink;
    SteerRecord record;  // removed from the journal once the move is done
    friend bool operator==(const Move&, const Move&) = default;
  };
  std::vector<Move> moves;            // first: the apps are heard again at once
  std::vector<std::uint32_t> unload;  // then the taps go
  std::vector<SteerRecord> forget;    // records with nothing left to undo
};

// Decides what a guardian undoes, touching only what it can prove is its owner's. A tap is
// proven when its module is still loaded as module-null-sink and owns a sink of the logged name
// that carries the owner's pid and start time (a restarted server numbers its modules afresh,
// and another Tavuno's taps carry that one's marks). A record is the owner's when it carries
// the owner's pid and start time and names one of the logged taps. A stream the record names
// that still plays into its proven tap goes back to the sink it came from, or to the default
// when that sink is gone; the owner's other records (the stream gone, or moved on by someone
// else) are forgotten.
GuardianPlan planGuardianCleanup(const GuardianOwner& owner,
                                 const std::map<std::uint32_t, std::string>& taps,
                                 const std::vector<SteerRecord>& records,
                                 const PulseServerView& server);

}  // namespace tavuno
