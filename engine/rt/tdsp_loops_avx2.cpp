// AVX2 loops, eight samples per vector. Used only when the processor reports AVX2; every
// function here carries the target attribute so that nothing else in the library needs it.
#include "engine/rt/tdsp_loops.h"

#ifdef TAVUNO_RT_X86
#include <immintrin.h>

#define TAVUNO_AVX2 [[gnu::target("avx2")]]

namespace tavuno::rt {
namespace {

// _mm256_max_ps(a, b) is a > b ? a : b, so a NaN in `a` keeps `b`: the strict maximum that
// ignores NaN. Accumulators start at +0.0 and so never hold NaN.
struct Meter {
  __m256 input;
  __m256 output;
};

TAVUNO_AVX2 inline Meter silentMeter() {
  return {_mm256_setzero_ps(), _mm256_setzero_ps()};
}

TAVUNO_AVX2 inline __m256 absolute(__m256 v) {
  return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}

TAVUNO_AVX2 inline void measure(Meter& m, __m256 x, __m256 y) {
  m.input = _mm256_max_ps(absolute(x), m.input);
  m.output = _mm256_max_ps(absolute(y), m.output);
}

TAVUNO_AVX2 inline float horizontalMax(__m256 v) {
  __m128 h = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  h = _mm_max_ps(h, _mm_movehl_ps(h, h));
  h = _mm_max_ps(h, _mm_shuffle_ps(h, h, _MM_SHUFFLE(1, 1, 1, 1)));
  return _mm_cvtss_f32(h);
}

// The main loops keep four meters, four independent max chains in flight; a single chain
// would stall on the latency of the max.
TAVUNO_AVX2 inline Peaks reduce(const Meter& a, const Meter& b, const Meter& c, const Meter& d) {
  const __m256 input =
      _mm256_max_ps(_mm256_max_ps(a.input, b.input), _mm256_max_ps(c.input, d.input));
  const __m256 output =
      _mm256_max_ps(_mm256_max_ps(a.output, b.output), _mm256_max_ps(c.output, d.output));
  return {horizontalMax(input), horizontalMax(output)};
}

// Each vector is loaded before it is stored, which keeps in == out correct.
TAVUNO_AVX2 inline void scaleEight(const float* in, float* out, __m256 gain, Meter& m) {
  const __m256 x = _mm256_loadu_ps(in);
  const __m256 y = _mm256_mul_ps(x, gain);
  _mm256_storeu_ps(out, y);
  measure(m, x, y);
}

TAVUNO_AVX2 Peaks scaleAvx2(const float* in, float* out, uint32_t samples, float gain) {
  const __m256 g = _mm256_set1_ps(gain);
  Meter a = silentMeter(), b = silentMeter(), c = silentMeter(), d = silentMeter();
  uint32_t i = 0;
  for (; i + 32 <= samples; i += 32) {
    scaleEight(in + i, out + i, g, a);
    scaleEight(in + i + 8, out + i + 8, g, b);
    scaleEight(in + i + 16, out + i + 16, g, c);
    scaleEight(in + i + 24, out + i + 24, g, d);
  }
  for (; i + 8 <= samples; i += 8)
    scaleEight(in + i, out + i, g, a);
  return maxPeaks(reduce(a, b, c, d), kSse2Loops.scale(in + i, out + i, samples - i, gain));
}

// Folds eight frames. The in-lane shuffles leave the frames in the order (0 1 4 5 | 2 3 6 7);
// one cross-lane permute of 64-bit pairs restores it. The output is stored after all sixteen
// input samples are loaded; later loads start beyond any store, which keeps in == out correct.
TAVUNO_AVX2 inline void foldEight(const float* in, float* out, __m256 gain, Meter& m) {
  const __m256 lo = _mm256_loadu_ps(in);
  const __m256 hi = _mm256_loadu_ps(in + 8);
  const __m256 left = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
  const __m256 right = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  const __m256 mixed = _mm256_mul_ps(_mm256_add_ps(left, right), _mm256_set1_ps(0.5f));
  const __m256 x =
      _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(mixed), _MM_SHUFFLE(3, 1, 2, 0)));
  const __m256 y = _mm256_mul_ps(x, gain);
  _mm256_storeu_ps(out, y);
  measure(m, x, y);
}

TAVUNO_AVX2 Peaks foldAvx2(const float* in, float* out, uint32_t frames, float gain) {
  const __m256 g = _mm256_set1_ps(gain);
  Meter a = silentMeter(), b = silentMeter(), c = silentMeter(), d = silentMeter();
  uint32_t i = 0;
  for (; i + 32 <= frames; i += 32) {
    foldEight(in + 2 * i, out + i, g, a);
    foldEight(in + 2 * i + 16, out + i + 8, g, b);
    foldEight(in + 2 * i + 32, out + i + 16, g, c);
    foldEight(in + 2 * i + 48, out + i + 24, g, d);
  }
  for (; i + 8 <= frames; i += 8)
    foldEight(in + 2 * i, out + i, g, a);
  return maxPeaks(reduce(a, b, c, d), kSse2Loops.fold(in + 2 * i, out + i, frames - i, gain));
}

}  // namespace

const GainLoops kAvx2Loops{"avx2", scaleAvx2, foldAvx2};

}  // namespace tavuno::rt
#endif
