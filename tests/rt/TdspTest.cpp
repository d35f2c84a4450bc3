#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/rt/tdsp.h"

namespace tavuno {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using State = std::unique_ptr<tdsp_state, decltype(&tdsp_destroy)>;
State makeState() {
  return State(tdsp_create(), &tdsp_destroy);
}

// Samples 0.1, -0.2, 0.3, ... so that every sample and its position are recognisable.
std::vector<float> ramp(uint32_t count) {
  std::vector<float> v(count);
  for (uint32_t i = 0; i < count; ++i)
    v[i] = (i % 2 == 0 ? 0.1f : -0.1f) * float(i + 1);
  return v;
}

TEST(Tdsp, NewStateHasUnityGainAndNothingMeasured) {
  State s = makeState();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(tdsp_callbacks(s.get()), 0u);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.0f);
  EXPECT_EQ(tdsp_output_peak(s.get()), 0.0f);
  EXPECT_EQ(tdsp_underruns(s.get()), 0u);
  EXPECT_EQ(tdsp_overruns(s.get()), 0u);
  float buffer[2] = {0.75f, -0.5f};
  tdsp_process(s.get(), buffer, 2, buffer, 2);
  EXPECT_EQ(buffer[0], 0.75f);
  EXPECT_EQ(buffer[1], -0.5f);
}

struct GainRow {
  std::string name;
  float gain;
  bool muted;
  float stored;
};

class TdspGain : public testing::TestWithParam<GainRow> {};

// The stored gain is observed as the output of a full-scale sample.
TEST_P(TdspGain, IsSanitisedBeforeUse) {
  const GainRow& row = GetParam();
  State s = makeState();
  tdsp_set_gain(s.get(), row.gain, row.muted);
  float buffer[2] = {1.0f, -1.0f};
  tdsp_process(s.get(), buffer, 2, buffer, 2);
  EXPECT_EQ(buffer[0], row.stored);
  EXPECT_EQ(tdsp_output_peak(s.get()), row.stored);
  EXPECT_EQ(tdsp_input_peak(s.get()), 1.0f);
  EXPECT_FALSE(std::signbit(buffer[0]));  // silence from -0.0 gain would be negative zero
}

INSTANTIATE_TEST_SUITE_P(Rows, TdspGain,
                         testing::Values(GainRow{"InRangeKept", 0.25f, false, 0.25f},
                                         GainRow{"NaNMeansUnity", kNaN, false, 1.0f},
                                         GainRow{"InfinityMeansUnity", kInf, false, 1.0f},
                                         GainRow{"MinusInfinityMeansUnity", -kInf, false, 1.0f},
                                         GainRow{"NegativeClampedToZero", -0.5f, false, 0.0f},
                                         GainRow{"NegativeZeroIsZero", -0.0f, false, 0.0f},
                                         GainRow{"AboveOneClampedToOne", 2.0f, false, 1.0f},
                                         GainRow{"MutedIsZero", 0.7f, true, 0.0f},
                                         GainRow{"MutedWinsOverNaN", kNaN, true, 0.0f}),
                         [](const auto& info) { return info.param.name; });

struct CountRow {
  std::string name;
  uint32_t input;   // samples (process) or frames (fold)
  uint32_t output;  // samples
  uint32_t underruns;
  uint32_t overruns;
};

class TdspProcessCounts : public testing::TestWithParam<CountRow> {};

// Runs every row with real input and with a null input: the counts depend on the sizes alone.
TEST_P(TdspProcessCounts, CountWholeFramesAndCompleteTheOutputWithSilence) {
  const CountRow& row = GetParam();
  for (bool nullInput : {false, true}) {
    SCOPED_TRACE(nullInput ? "null input" : "real input");
    State s = makeState();
    tdsp_set_gain(s.get(), 0.5f, false);
    const std::vector<float> input = ramp(row.input);
    std::vector<float> output(row.output, 9.0f);
    tdsp_process(s.get(), nullInput ? nullptr : input.data(), row.input, output.data(), row.output);

    const uint32_t copied = nullInput ? 0 : std::min(row.input, row.output);
    float peak = 0.0f;
    for (uint32_t i = 0; i < row.output; ++i) {
      EXPECT_EQ(output[i], i < copied ? input[i] * 0.5f : 0.0f) << "sample " << i;
      if (i < copied) peak = std::max(peak, std::fabs(input[i]));
    }
    EXPECT_EQ(tdsp_input_peak(s.get()), peak);  // input beyond the output is not measured
    EXPECT_EQ(tdsp_output_peak(s.get()), peak * 0.5f);
    EXPECT_EQ(tdsp_underruns(s.get()), row.underruns);
    EXPECT_EQ(tdsp_overruns(s.get()), row.overruns);
    EXPECT_EQ(tdsp_callbacks(s.get()), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, TdspProcessCounts,
                         testing::Values(CountRow{"Equal", 10, 10, 0, 0},
                                         CountRow{"TwoFramesShort", 6, 10, 2, 0},
                                         CountRow{"OddShortfallRoundsDown", 7, 10, 1, 0},
                                         CountRow{"TwoFramesSurplus", 10, 6, 0, 2},
                                         CountRow{"OneSampleSurplusIsNoFrame", 7, 6, 0, 0},
                                         CountRow{"EmptyOutputStillCounts", 4, 0, 0, 2},
                                         CountRow{"NothingAtAll", 0, 0, 0, 0},
                                         CountRow{"LongBuffer", 1030, 1024, 0, 3}),
                         [](const auto& info) { return info.param.name; });

class TdspFoldCounts : public testing::TestWithParam<CountRow> {};

TEST_P(TdspFoldCounts, CountFramesWithoutHalving) {
  const CountRow& row = GetParam();
  State s = makeState();
  const std::vector<float> input = ramp(2 * row.input);
  std::vector<float> output(row.output, 9.0f);
  tdsp_stereo_to_mono(s.get(), input.data(), row.input, output.data(), row.output);
  for (uint32_t i = 0; i < row.output; ++i) {
    const float expected = i < row.input ? (input[2 * i] + input[2 * i + 1]) * 0.5f : 0.0f;
    EXPECT_EQ(output[i], expected) << "sample " << i;
  }
  EXPECT_EQ(tdsp_underruns(s.get()), row.underruns);
  EXPECT_EQ(tdsp_overruns(s.get()), row.overruns);
  EXPECT_EQ(tdsp_callbacks(s.get()), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, TdspFoldCounts,
                         testing::Values(CountRow{"Equal", 5, 5, 0, 0},
                                         CountRow{"ThreeFramesShort", 2, 5, 3, 0},
                                         CountRow{"OneFrameSurplus", 6, 5, 0, 1},
                                         CountRow{"EmptyOutputStillCounts", 3, 0, 0, 3}),
                         [](const auto& info) { return info.param.name; });

TEST(Tdsp, StereoToMonoMetersTheFoldedSignal) {
  State s = makeState();
  float cancelling[2] = {0.5f, -0.5f};
  float out = 9.0f;
  tdsp_stereo_to_mono(s.get(), cancelling, 1, &out, 1);
  EXPECT_EQ(out, 0.0f);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.0f);  // not the 0.5 of either channel

  tdsp_set_gain(s.get(), 0.5f, false);
  float loud[2] = {1.0f, 0.6f};
  tdsp_stereo_to_mono(s.get(), loud, 1, &out, 1);
  EXPECT_FLOAT_EQ(out, 0.4f);
  EXPECT_FLOAT_EQ(tdsp_input_peak(s.get()), 0.8f);
  EXPECT_FLOAT_EQ(tdsp_output_peak(s.get()), 0.4f);
}

TEST(Tdsp, PeaksAreReplacedByEveryBufferNotHeld) {
  State s = makeState();
  std::vector<float> loud(32, -0.9f), quiet(32, 0.1f), out(32);
  tdsp_process(s.get(), loud.data(), 32, out.data(), 32);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.9f);
  tdsp_process(s.get(), quiet.data(), 32, out.data(), 32);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.1f);
  tdsp_process(s.get(), quiet.data(), 32, out.data(), 0);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.0f);
  EXPECT_EQ(tdsp_output_peak(s.get()), 0.0f);
  EXPECT_EQ(tdsp_callbacks(s.get()), 3u);
}

// A buffer that partly overlaps its output behaves as the sample-by-sample definition says:
// here each output sample overwrites the input two samples (one frame) further on.
TEST(Tdsp, OverlappingBuffersFollowSampleOrder) {
  State s = makeState();
  std::vector<float> buffer = ramp(66);
  const float left = buffer[0], right = buffer[1];
  tdsp_process(s.get(), buffer.data(), 64, buffer.data() + 2, 64);
  for (uint32_t i = 0; i < 66; ++i)
    EXPECT_EQ(buffer[i], i % 2 == 0 ? left : right) << i;
}

TEST(Tdsp, FormatMismatchAddsOneOverTheHealthLimitAndNothingElse) {
  State s = makeState();
  float buffer[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  tdsp_process(s.get(), buffer, 4, buffer, 4);
  tdsp_format_mismatch(s.get());
  EXPECT_EQ(tdsp_underruns(s.get()), 1025u);
  tdsp_format_mismatch(s.get());
  EXPECT_EQ(tdsp_underruns(s.get()), 2050u);
  EXPECT_EQ(tdsp_callbacks(s.get()), 1u);
  EXPECT_EQ(tdsp_input_peak(s.get()), 0.5f);
}

TEST(Tdsp, NullStateAndNullOutputChangeNothing) {
  float buffer[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  tdsp_destroy(nullptr);
  tdsp_set_gain(nullptr, 0.5f, false);
  tdsp_process(nullptr, buffer, 4, buffer, 4);
  tdsp_stereo_to_mono(nullptr, buffer, 2, buffer, 2);
  tdsp_format_mismatch(nullptr);
  EXPECT_EQ(buffer[0], 0.5f);
  EXPECT_EQ(tdsp_callbacks(nullptr), 0u);
  EXPECT_EQ(tdsp_input_peak(nullptr), 0.0f);
  EXPECT_EQ(tdsp_output_peak(nullptr), 0.0f);
  EXPECT_EQ(tdsp_underruns(nullptr), 0u);
  EXPECT_EQ(tdsp_overruns(nullptr), 0u);

  State s = makeState();
  tdsp_process(s.get(), buffer, 4, nullptr, 8);
  tdsp_stereo_to_mono(s.get(), buffer, 2, nullptr, 4);
  EXPECT_EQ(tdsp_callbacks(s.get()), 0u);
  EXPECT_EQ(tdsp_underruns(s.get()), 0u);
  tdsp_process(s.get(), nullptr, 4, nullptr, 0);  // nothing to write is a valid buffer
  EXPECT_EQ(tdsp_callbacks(s.get()), 1u);
  EXPECT_EQ(tdsp_overruns(s.get()), 2u);
}

}  // namespace
}  // namespace tavuno
