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
    state.scratchFrames = kTapScratchFrames;
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

// A server allowing cycles beyond the default scratch (quantum limit 16384, say): every frame of
// a longer cycle is played, through the scratch in chunks where the capture needs padding, and
// the kernel never sees a mismatch. The meter reads the cycle's captured start, not its padding.
TEST(TapGlue, CycleLongerThanTheScratchPlaysEveryFrame) {
  constexpr std::uint32_t frames = 20000;  // more than two scratches of 8192
  Glue g;
  g.playback.assign(2 * frames, 9.0f);
  std::vector<float> capture(2 * frames);
  for (std::uint32_t i = 0; i < frames; ++i)
    capture[2 * i] = capture[2 * i + 1] = i < 12000 ? 0.5f : 0.25f;
  auto cycle = [&](const float* in, std::uint32_t captured, std::uint32_t channels) {
    return tapGlueProcess(g.dsp.get(), g.state,
                          {in, captured, g.playback.data(), frames, frames, channels});
  };
  tdsp_set_gain(g.dsp.get(), 0.5f, false);

  // A full capture: all of it, with the gain.
  EXPECT_EQ(cycle(capture.data(), frames, 2), frames);
  EXPECT_FLOAT_EQ(g.playback[0], 0.25f);
  EXPECT_FLOAT_EQ(g.playback[2 * frames - 1], 0.125f);
  EXPECT_EQ(g.state.counters.droppedFrames.load(), 0u);

  // A short capture (12000 of 20000) straddling a chunk: sound up to its end, silence after.
  std::fill(g.playback.begin(), g.playback.end(), 9.0f);
  EXPECT_EQ(cycle(capture.data(), 12000, 2), frames);
  EXPECT_FLOAT_EQ(g.playback[2 * 8191 + 1], 0.25f);
  EXPECT_FLOAT_EQ(g.playback[2 * 8192], 0.25f);
  EXPECT_FLOAT_EQ(g.playback[2 * 11999 + 1], 0.25f);
  EXPECT_EQ(g.playback[2 * 12000], 0.0f);
  EXPECT_EQ(g.playback[2 * 16384], 0.0f);
  EXPECT_EQ(g.playback[2 * frames - 1], 0.0f);
  EXPECT_EQ(g.state.counters.shortCapture.load(), 1u);
  EXPECT_FLOAT_EQ(tdsp_input_peak(g.dsp.get()), 0.5f);

  // No capture, mono: the whole cycle is silence.
  std::fill(g.playback.begin(), g.playback.end(), 9.0f);
  EXPECT_EQ(cycle(nullptr, 0, 1), frames);
  EXPECT_EQ(std::count(g.playback.begin(), g.playback.begin() + frames, 0.0f), frames);
  EXPECT_EQ(g.playback[frames], 9.0f);

  EXPECT_EQ(tdsp_underruns(g.dsp.get()), 0u);
  EXPECT_EQ(tdsp_overruns(g.dsp.get()), 0u);
}

// The scratch follows what the server allows, within bounds; sized so, a padded cycle of the
// server's longest length is one kernel call.
TEST(TapGlue, ScratchSizedFromTheServersLongestCycle) {
  EXPECT_EQ(tapScratchFrames(0), kTapScratchFrames);
  EXPECT_EQ(tapScratchFrames(1024), kTapScratchFrames);
  EXPECT_EQ(tapScratchFrames(16384), 16384u);
  EXPECT_EQ(tapScratchFrames(1u << 30), kTapScratchMaxFrames);

  Glue g;
  g.scratch.assign(2 * tapScratchFrames(16384), 7.0f);
  g.state.scratch = g.scratch.data();
  g.state.scratchFrames = tapScratchFrames(16384);
  g.playback.assign(2 * 16384, 9.0f);
  std::vector<float> capture(2 * 100, 0.5f);
  EXPECT_EQ(tapGlueProcess(g.dsp.get(), g.state,
                           {capture.data(), 100, g.playback.data(), 16384, 16384, 2}),
            16384u);
  EXPECT_EQ(tdsp_callbacks(g.dsp.get()), 1u);
  EXPECT_EQ(g.playback[2 * 16384 - 1], 0.0f);

  // A tap without a scratch still fills its playback, with silence.
  g.state.scratch = nullptr;
  g.state.scratchFrames = 0;
  EXPECT_EQ(
      tapGlueProcess(g.dsp.get(), g.state, {capture.data(), 100, g.playback.data(), 16384, 512, 2}),
      512u);
  EXPECT_EQ(g.playback[0], 0.0f);
  EXPECT_EQ(tdsp_underruns(g.dsp.get()), 0u);
}

TEST(TapGlue, NeverAllocatesOrLocks) {
  Glue g;
  std::vector<float> capture(2 * 2048, 0.25f);
  std::vector<float> longPlayback(2 * 20000);
  RealtimeProbe probe;
  g.run(capture.data(), 512);
  g.run(capture.data(), 2048);
  g.run(capture.data(), 64, 2, 512);
  g.run(nullptr, 0);
  g.run(capture.data(), 512, 1);
  // A cycle longer than the scratch, in chunks.
  tapGlueProcess(g.dsp.get(), g.state,
                 {capture.data(), 2048, longPlayback.data(), 20000, 20000, 2});
  EXPECT_EQ(probe.allocations(), 0);
  EXPECT_EQ(probe.locks(), 0);
}

}  // namespace
}  // namespace tavuno
