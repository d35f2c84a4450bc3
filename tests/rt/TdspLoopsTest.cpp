#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/rt/tdsp_loops.h"

namespace tavuno::rt {
namespace {

// The definition, sample by sample, written independently of the library's loops.
Peaks referenceScale(const float* in, float* out, uint32_t n, float gain) {
  Peaks p;
  for (uint32_t i = 0; i < n; ++i) {
    const float x = in[i];
    out[i] = x * gain;
    if (std::fabs(x) > p.input) p.input = std::fabs(x);
    if (std::fabs(out[i]) > p.output) p.output = std::fabs(out[i]);
  }
  return p;
}

Peaks referenceFold(const float* in, float* out, uint32_t frames, float gain) {
  Peaks p;
  for (uint32_t i = 0; i < frames; ++i) {
    const float x = (in[2 * i] + in[2 * i + 1]) * 0.5f;
    out[i] = x * gain;
    if (std::fabs(x) > p.input) p.input = std::fabs(x);
    if (std::fabs(out[i]) > p.output) p.output = std::fabs(out[i]);
  }
  return p;
}

// Audio-like samples with the values that trip vector code: NaN, both infinities, negative
// zero, subnormals, values beyond full scale, and the largest value placed near either end.
std::vector<float> awkwardSamples(uint32_t count, std::mt19937& rng) {
  const float specials[] = {
      std::numeric_limits<float>::quiet_NaN(),  std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(),  -0.0f,
      std::numeric_limits<float>::denorm_min(), -3.5f};
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  std::uniform_int_distribution<int> pick(0, 15);
  std::vector<float> v(count);
  for (float& x : v) {
    const int p = pick(rng);
    x = p < 6 ? specials[p] : level(rng);
  }
  return v;
}

// Equal bit for bit (so -0.0 differs from 0.0), except that any NaN matches any NaN.
bool sameSamples(const float* a, const float* b, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
  }
  return true;
}

class TdspLoops : public testing::TestWithParam<const GainLoops*> {};

using Loop = Peaks (*)(const float* in, float* out, uint32_t count, float gain);

// Every length from empty to past two full unrolled blocks, every alignment of a float within
// a vector, separate and in-place buffers: identical samples and equal peaks.
TEST_P(TdspLoops, MatchTheDefinitionBitForBit) {
  const std::pair<Loop, Loop> pairs[] = {{GetParam()->scale, referenceScale},
                                         {GetParam()->fold, referenceFold}};
  std::mt19937 rng(7);
  for (auto [loop, reference] : pairs) {
    for (float gain : {1.0f, 0.3f, 0.0f}) {
      for (uint32_t n = 0; n <= 70; ++n) {
        for (uint32_t offset = 0; offset < 4; ++offset) {
          SCOPED_TRACE(testing::Message() << (loop == pairs[0].first ? "scale" : "fold") << " gain "
                                          << gain << " n " << n << " offset " << offset);
          const std::vector<float> in = awkwardSamples(2 * n + offset, rng);
          std::vector<float> want(n + offset), got(n + offset), inPlace = in;
          const Peaks expected = reference(in.data() + offset, want.data() + offset, n, gain);
          const Peaks actual = loop(in.data() + offset, got.data() + offset, n, gain);
          EXPECT_TRUE(sameSamples(got.data(), want.data(), n + offset));
          EXPECT_EQ(actual.input, expected.input);
          EXPECT_EQ(actual.output, expected.output);
          loop(inPlace.data() + offset, inPlace.data() + offset, n, gain);
          EXPECT_TRUE(sameSamples(inPlace.data() + offset, want.data() + offset, n));
        }
      }
    }
  }
}

// A lone peak in each lane position must survive the lane-wise maxima and their reduction.
TEST_P(TdspLoops, FindAPeakInAnyPosition) {
  const GainLoops& loops = *GetParam();
  std::vector<float> in(2 * 512, 0.25f), out(2 * 512);
  for (uint32_t at = 0; at < 2 * 512; at += 13) {
    in[at] = -0.75f;
    const Peaks scaled = loops.scale(in.data(), out.data(), 2 * 512, 0.5f);
    EXPECT_EQ(scaled.input, 0.75f) << at;
    EXPECT_EQ(scaled.output, 0.375f) << at;
    in[at] = 0.25f;
  }
}

INSTANTIATE_TEST_SUITE_P(Supported, TdspLoops, testing::ValuesIn(supportedGainLoops()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(TdspLoopsChoice, TheKernelUsesTheWidestSupportedVariant) {
  ASSERT_FALSE(supportedGainLoops().empty());
  EXPECT_EQ(&activeGainLoops(), supportedGainLoops().back());
}

}  // namespace
}  // namespace tavuno::rt
