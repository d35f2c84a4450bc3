#pragma once

#include <cstdint>

#include "engine/rt/taudio_ring.h"
#include "engine/rt/tdsp.h"
#include "engine/taps/TapPlatform.h"

namespace tavuno {

// The render callback's only argument, one per duplex start. Once installed it is read and
// written by the output unit's render thread alone; the session frees it only after the unit is
// gone (or never, when cleanup failed).
struct DuplexRenderContext {
  taudio_ring* ring = nullptr;
  tdsp_state* dsp = nullptr;
  std::uint32_t prefillFrames = 0;
  bool started = false;  // playback has taken from the ring; never goes back to prefilling
};

// Capture side, once per capture cycle. Real-time: the capture queue, the ring's only writer.
// Writes the frames of a one-buffer, two-channel input into the ring; anything else is ignored.
void duplexCapture(taudio_ring* ring, const AudioBufferList* input);

// Render side (a RenderProc over a DuplexRenderContext). Real-time: the output unit's render
// thread, the ring's only reader. Silence until the ring first holds prefillFrames; then reads
// `frames` frames straight into a one-buffer stereo list of room enough and applies the gain in
// place; a list of any other layout is silenced and counted as a format mismatch. Always
// reports success to the unit.
OSStatus duplexRender(void* context, std::uint32_t frames, AudioBufferList* ioData);

}  // namespace tavuno
