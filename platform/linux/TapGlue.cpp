#include "platform/linux/TapGlue.h"

#include <algorithm>
#include <cstring>

namespace tavuno {

namespace {

// One kernel call over `frames` stereo input frames (null: silence) into the playback.
void runKernel(tdsp_state* dsp, const float* input, std::uint32_t frames, float* output,
               std::uint32_t channels) {
  if (channels == 1) {
    tdsp_stereo_to_mono(dsp, input, frames, output, frames);
  } else {
    tdsp_process(dsp, input, 2 * frames, output, 2 * frames);
  }
}

}  // namespace

std::uint32_t tapScratchFrames(std::uint32_t serverMaxQuantum) {
  return std::clamp(serverMaxQuantum, kTapScratchFrames, kTapScratchMaxFrames);
}

std::uint32_t tapGlueProcess(tdsp_state* dsp, TapGlueState& state, const TapCycle& cycle) {
  const bool haveCapture = cycle.capture != nullptr && cycle.captureFrames > 0;
  std::uint32_t n = cycle.requestedFrames;
  if (n == 0) n = haveCapture ? cycle.captureFrames : state.lastFrames;
  n = std::min(n, cycle.playbackFrames);
  state.lastFrames = n;

  const std::uint32_t channels = cycle.channels == 1 ? 1 : 2;
  std::uint32_t captured = 0;
  if (!haveCapture) {
    state.counters.missingCapture.fetch_add(1, std::memory_order_relaxed);
  } else if (cycle.captureFrames < n) {
    state.counters.shortCapture.fetch_add(1, std::memory_order_relaxed);
    captured = cycle.captureFrames;
  } else {
    if (cycle.captureFrames > n)
      state.counters.droppedFrames.fetch_add(cycle.captureFrames - n, std::memory_order_relaxed);
    runKernel(dsp, cycle.capture, n, cycle.playback, channels);
    return n;
  }

  // Short or missing: the kernel must see equal counts, so the input is padded to the cycle's
  // length through the scratch. Without one (a tap that never got it) the cycle is silence.
  if (state.scratch == nullptr || state.scratchFrames == 0) {
    runKernel(dsp, nullptr, n, cycle.playback, channels);
    return n;
  }
  const std::uint32_t step = state.scratchFrames;
  const std::uint32_t chunks = n == 0 ? 1 : (n - 1) / step + 1;
  for (std::uint32_t k = chunks; k-- > 0;) {
    const std::uint32_t begin = k * step;
    const std::uint32_t frames = std::min(step, n - begin);
    const std::uint32_t fromCapture = captured > begin ? std::min(frames, captured - begin) : 0;
    const float* input = state.scratch;
    if (fromCapture == frames && frames > 0) {
      input = cycle.capture + 2 * std::size_t{begin};
    } else {
      if (fromCapture > 0)
        std::memcpy(state.scratch, cycle.capture + 2 * std::size_t{begin},
                    sizeof(float) * 2 * fromCapture);
      std::memset(state.scratch + 2 * std::size_t{fromCapture}, 0,
                  sizeof(float) * 2 * (frames - fromCapture));
    }
    runKernel(dsp, input, frames, cycle.playback + std::size_t{channels} * begin, channels);
  }
  return n;
}

}  // namespace tavuno
