#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ServerKeys.h"

namespace tavuno {

// What Tavuno changed about one application stream when it steered the stream into a tap, kept
// on disk until the change is undone, so that a Tavuno that was killed can be cleaned up after
// by the next one.
struct SteerRecord {
  std::uint32_t node = 0;    // the stream's node id (PipeWire) or sink-input index (Pulse)
  std::uint64_t serial = 0;  // its object serial: ids are reused, serials are not
  std::int32_t appPid = 0;   // the application process and its start time
  std::uint64_t appStart = 0;
  std::string targetKey = serverkey::targetObject;  // the metadata key that held the saved target
  std::optional<std::string> savedTarget;           // the app's own target before steering, if any
  std::string sink;             // node name of the sink the stream was playing to
  bool sinkWasDefault = false;  // that sink was the default then
  std::string tap;              // the tap the stream was steered into
  std::int32_t ownerPid = 0;    // the Tavuno process that steered it and its start time
  std::uint64_t ownerStart = 0;
  // The run of the audio server the numbers above belong to (PipeWire's core cookie, PulseAudio's
  // server cookie): a restarted server hands the same numbers out again. 0: unknown (a record
  // written before Tavuno kept it), which no sweep acts on.
  std::uint64_t server = 0;

  friend bool operator==(const SteerRecord&, const SteerRecord&) = default;
};

// The records as stored: a JSON object {"records": [...]}. Decoding never throws; records
// with missing or mistyped fields are skipped, and `ok` is false when the text as a whole
// was not a record list. A record without `server` (an older Tavuno's) loads with 0.
std::string encodeSteerRecords(const std::vector<SteerRecord>& records);
struct DecodedSteerRecords {
  std::vector<SteerRecord> records;
  bool ok = true;
};
DecodedSteerRecords decodeSteerRecords(const std::string& text);

// One step of the start-up sweep: write `value` under `key` of the stream's target metadata.
struct SweepAction {
  std::uint32_t node = 0;
  std::string key;
  std::string value;
  friend bool operator==(const SweepAction&, const SweepAction&) = default;
};

// The target keys Tavuno saves and writes back; a record naming another key is not Tavuno's.
bool isSteerTargetKey(const std::string& key);

// What the sweep needs to know of the world, asked without side effects.
struct SweepFacts {
  // The run of the server the sweep talks to (SteerRecord::server); 0 when it is not known.
  std::uint64_t server = 0;
  // Whether the process with this pid and start time still runs.
  std::function<bool(std::int32_t pid, std::uint64_t start)> processAlive;
  // The pid of the application process playing the stream with this id and serial; nothing
  // when there is no such stream (or it names no process).
  std::function<std::optional<std::int32_t>(std::uint32_t node, std::uint64_t serial)>
      streamProcess;
};

struct SweepPlan {
  std::vector<SweepAction> actions;
  std::vector<SteerRecord> keep;  // records of a Tavuno that still runs
};

// Decides the sweep. A record whose Tavuno still runs is kept. Otherwise the record goes, and
// if its stream is provably the one it names it is put back: its saved target written back, or,
// when it had none and was playing to a sink other than the default, pinned to that sink (the
// server sent the orphaned stream to the default when the tap vanished). Provably: the record
// is of this server run, names a target key Tavuno writes, and the stream with its id and
// serial is played by the record's application process, which still runs since the start time
// the record holds. Numbers alone prove nothing: a restarted server hands them out again, and
// acting on them would send some unrelated application elsewhere.
SweepPlan planSweep(const std::vector<SteerRecord>& records, const SweepFacts& facts);

}  // namespace tavuno
