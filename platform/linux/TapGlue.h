#pragma once

#include <atomic>
#include <cstdint>

#include "engine/rt/tdsp.h"

namespace tavuno {

// One graph cycle of a per-application tap: the capture chunk the tap sink received, the
// playback buffer to the output, and the kernel between them. Pure: no server call, so the
// session's process callback and the tests run the same code.
//
// Real-time thread (the graph's data thread), one cycle at a time. Never allocates, locks,
// logs or makes a system call.

// Frames of the stereo scratch buffer a tap allocates at start when the server does not say
// how long a cycle can get (PipeWire's own default limit), and the most it is ever given: a
// server allowing longer cycles than the cap still plays them, in chunks.
constexpr std::uint32_t kTapScratchFrames = 8192;
constexpr std::uint32_t kTapScratchMaxFrames = 65536;

// The scratch a tap allocates for a server whose cycles reach `serverMaxQuantum` frames (0 when
// unknown): at least the default, at most the cap.
std::uint32_t tapScratchFrames(std::uint32_t serverMaxQuantum);

// Shortfalls seen by the tap itself. The kernel always gets equal counts (a missing or short
// capture must not look like a format mismatch to the buffer-health rule), so these are kept
// apart. Written by the real-time thread, read by anyone.
struct TapGlueCounters {
  std::atomic<std::uint32_t> missingCapture{0};   // cycles without capture data
  std::atomic<std::uint32_t> shortCapture{0};     // cycles whose capture held fewer frames
  std::atomic<std::uint32_t> droppedFrames{0};    // capture frames that did not fit
  std::atomic<std::uint32_t> missingPlayback{0};  // cycles without a playback buffer
};

// What the tap keeps from one cycle to the next.
struct TapGlueState {
  float* scratch = nullptr;         // scratchFrames stereo frames, allocated at start
  std::uint32_t scratchFrames = 0;  // 0: no scratch, what needs one plays silence
  std::uint32_t lastFrames = 0;     // the previous cycle's length; the quantum at first
  TapGlueCounters counters;
};

struct TapCycle {
  const float* capture = nullptr;  // interleaved stereo, or null when the graph gave none
  std::uint32_t captureFrames = 0;
  float* playback = nullptr;          // interleaved, `channels` per frame
  std::uint32_t playbackFrames = 0;   // its capacity
  std::uint32_t requestedFrames = 0;  // what the graph asked of the playback; 0 if unknown
  std::uint32_t channels = 2;         // 1 or 2
};

// Runs the kernel over one cycle and returns the frames written to the playback buffer. The
// length is what the graph asked for, else the capture's, else the previous cycle's, capped by
// the playback buffer only. A full capture goes to the kernel as it is, in one call. A capture
// holding fewer frames is copied to the scratch and padded with silence, and a null capture
// plays silence; a cycle longer than the scratch then runs through it in chunks, the last chunk
// first, so the meter (which keeps the latest call's peaks) reads the cycle's start, where the
// captured sound is. A mono playback gets the stereo fold.
std::uint32_t tapGlueProcess(tdsp_state* dsp, TapGlueState& state, const TapCycle& cycle);

}  // namespace tavuno
