#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/TapGlue.h"
#include "tests/rt/RealtimeProbe.h"

namespace tavuno {
namespace {

struct Glue {
  std::unique_ptr<tdsp_state, decltype(&tdsp_destroy)> dsp{tdsp_create(), &tdsp_destroy};
  std::vector<float> scratch = std::vector<float>(2 * kTapScratchFrames, 7.0f);
  std::vector<float> playback = std::vector<float>(2 * 1024, 9.0f);
  TapGlueState state;
  Glue() {
    state.scratch = scratch.data();
    state.lastFrames = 256;
  }
  std::uint32_t run(const float* capture, std::uint32_t frames, std::uint32_t channels = 2,
                    std::uint32_t requested = 0) {
    return tapGlueProcess(dsp.get(), state,
                          {capture, frames, playback.data(), 1024, requested, channels});
  }
};

// A cycle without capture plays the previous length of silence and is the tap's own shortfall:
// the kernel still sees equal counts, so the health rule never reads it as a format mismatch.
TEST(TapGlue, MissingOrShortCaptureIsSilencePaddedNotAMismatch) {
  Glue g;
  EXPECT_EQ(g.run(nullptr, 0), 256u);
  for (int i = 0; i < 512; ++i)
    EXPECT_EQ(g.playback[i], 0.0f);
  EXPECT_EQ(g.state.counters.missingCapture.load(), 1u);

  std::vector<float> capture(2 * 100, 0.5f);
  EXPECT_EQ(g.run(capture.data(), 100, 2, 256), 256u);
  EXPECT_EQ(g.playback[199], 0.5f);
  EXPECT_EQ(g.playback[200], 0.0f);
  EXPECT_EQ(g.playback[511], 0.0f);
  EXPECT_EQ(g.state.counters.shortCapture.load(), 1u);

  EXPECT_EQ(tdsp_underruns(g.dsp.get()), 0u);
  EXPECT_EQ(tdsp_overruns(g.dsp.get()), 0u);
  EXPECT_EQ(tdsp_callbacks(g.dsp.get()), 2u);
}

// The length follows the capture, is capped by the playback buffer (the rest counted as
// dropped), a mono output gets the fold, and the cycle after setGain carries the new gain.
TEST(TapGlue, LengthChannelsAndGain) {
  Glue g;
  std::vector<float> capture(2 * 2048, 0.5f);
  EXPECT_EQ(g.run(capture.data(), 2048), 1024u);
  EXPECT_EQ(g.state.counters.droppedFrames.load(), 1024u);
  EXPECT_EQ(g.run(capture.data(), 128), 128u);
  EXPECT_EQ(g.state.lastFrames, 128u);

  for (std::size_t i = 0; i < 128; ++i) {
    capture[2 * i] = 1.0f;
    capture[2 * i + 1] = 0.6f;
  }
  tdsp_set_gain(g.dsp.get(), 0.5f, false);
  std::fill(g.playback.begin(), g.playback.end(), 9.0f);
  EXPECT_EQ(g.run(capture.data(), 128, 1), 128u);
  EXPECT_FLOAT_EQ(g.playback[0], 0.4f);
  EXPECT_FLOAT_EQ(g.playback[127], 0.4f);
  EXPECT_EQ(g.playback[128], 9.0f);  // a mono cycle writes one sample per frame

  tdsp_set_gain(g.dsp.get(), 0.5f, true);
  g.run(capture.data(), 128);
  EXPECT_EQ(g.playback[0], 0.0f);
  EXPECT_FLOAT_EQ(tdsp_input_peak(g.dsp.get()), 1.0f);
}

TEST(TapGlue, NeverAllocatesOrLocks) {
  Glue g;
  std::vector<float> capture(2 * 2048, 0.25f);
  RealtimeProbe probe;
  g.run(capture.data(), 512);
  g.run(capture.data(), 2048);
  g.run(capture.data(), 64, 2, 512);
  g.run(nullptr, 0);
  g.run(capture.data(), 512, 1);
  EXPECT_EQ(probe.allocations(), 0);
  EXPECT_EQ(probe.locks(), 0);
}

}  // namespace
}  // namespace tavuno
