#include "platform/linux/TapGlue.h"

#include <algorithm>
#include <cstring>

namespace tavuno {

std::uint32_t tapGlueProcess(tdsp_state* dsp, TapGlueState& state, const TapCycle& cycle) {
  const bool haveCapture = cycle.capture != nullptr && cycle.captureFrames > 0;
  std::uint32_t n = cycle.requestedFrames;
  if (n == 0) n = haveCapture ? cycle.captureFrames : state.lastFrames;
  n = std::min({n, cycle.playbackFrames, kTapScratchFrames});
  state.lastFrames = n;

  const float* input = cycle.capture;
  if (!haveCapture) {
    state.counters.missingCapture.fetch_add(1, std::memory_order_relaxed);
    std::memset(state.scratch, 0, sizeof(float) * 2 * n);
    input = state.scratch;
  } else if (cycle.captureFrames < n) {
    state.counters.shortCapture.fetch_add(1, std::memory_order_relaxed);
    std::memcpy(state.scratch, cycle.capture, sizeof(float) * 2 * cycle.captureFrames);
    std::memset(state.scratch + 2 * cycle.captureFrames, 0,
                sizeof(float) * 2 * (n - cycle.captureFrames));
    input = state.scratch;
  } else if (cycle.captureFrames > n) {
    state.counters.droppedFrames.fetch_add(cycle.captureFrames - n, std::memory_order_relaxed);
  }

  if (cycle.channels == 1) {
    tdsp_stereo_to_mono(dsp, input, n, cycle.playback, n);
  } else {
    tdsp_process(dsp, input, 2 * n, cycle.playback, 2 * n);
  }
  return n;
}

}  // namespace tavuno
