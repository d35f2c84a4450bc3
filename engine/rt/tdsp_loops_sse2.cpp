// SSE2 loops, four samples per vector. SSE2 is part of the x86-64 baseline, so this variant
// needs no processor check.
#include "engine/rt/tdsp_loops.h"

#ifdef TAVUNO_RT_X86
#include <emmintrin.h>

namespace tavuno::rt {
namespace {

// _mm_max_ps(a, b) is a > b ? a : b, so a NaN in `a` keeps `b`: the strict maximum that
// ignores NaN. Accumulators start at +0.0 and so never hold NaN.
struct Meter {
  __m128 input = _mm_setzero_ps();
  __m128 output = _mm_setzero_ps();
};

inline __m128 absolute(__m128 v) {
  return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
}

inline void measure(Meter& m, __m128 x, __m128 y) {
  m.input = _mm_max_ps(absolute(x), m.input);
  m.output = _mm_max_ps(absolute(y), m.output);
}

inline float horizontalMax(__m128 v) {
  v = _mm_max_ps(v, _mm_movehl_ps(v, v));
  v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
  return _mm_cvtss_f32(v);
}

// The main loops keep four meters, four independent max chains in flight; a single chain
// would stall on the latency of the max.
Peaks reduce(const Meter& a, const Meter& b, const Meter& c, const Meter& d) {
  const __m128 input = _mm_max_ps(_mm_max_ps(a.input, b.input), _mm_max_ps(c.input, d.input));
  const __m128 output = _mm_max_ps(_mm_max_ps(a.output, b.output), _mm_max_ps(c.output, d.output));
  return {horizontalMax(input), horizontalMax(output)};
}

// Each vector is loaded before it is stored, which keeps in == out correct.
inline void scaleFour(const float* in, float* out, __m128 gain, Meter& m) {
  const __m128 x = _mm_loadu_ps(in);
  const __m128 y = _mm_mul_ps(x, gain);
  _mm_storeu_ps(out, y);
  measure(m, x, y);
}

Peaks scaleSse2(const float* in, float* out, uint32_t samples, float gain) {
  const __m128 g = _mm_set1_ps(gain);
  Meter a, b, c, d;
  uint32_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    scaleFour(in + i, out + i, g, a);
    scaleFour(in + i + 4, out + i + 4, g, b);
    scaleFour(in + i + 8, out + i + 8, g, c);
    scaleFour(in + i + 12, out + i + 12, g, d);
  }
  for (; i + 4 <= samples; i += 4)
    scaleFour(in + i, out + i, g, a);
  return maxPeaks(reduce(a, b, c, d), kPortableLoops.scale(in + i, out + i, samples - i, gain));
}

// Folds four frames: (L0 R0 L1 R1, L2 R2 L3 R3) deinterleaved into (L0..L3) + (R0..R3), halved.
// The output is stored after all eight input samples are loaded; later loads start beyond any
// store, which keeps in == out correct.
inline void foldFour(const float* in, float* out, __m128 gain, Meter& m) {
  const __m128 lo = _mm_loadu_ps(in);
  const __m128 hi = _mm_loadu_ps(in + 4);
  const __m128 left = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
  const __m128 right = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
  const __m128 x = _mm_mul_ps(_mm_add_ps(left, right), _mm_set1_ps(0.5f));
  const __m128 y = _mm_mul_ps(x, gain);
  _mm_storeu_ps(out, y);
  measure(m, x, y);
}

Peaks foldSse2(const float* in, float* out, uint32_t frames, float gain) {
  const __m128 g = _mm_set1_ps(gain);
  Meter a, b, c, d;
  uint32_t i = 0;
  for (; i + 16 <= frames; i += 16) {
    foldFour(in + 2 * i, out + i, g, a);
    foldFour(in + 2 * i + 8, out + i + 4, g, b);
    foldFour(in + 2 * i + 16, out + i + 8, g, c);
    foldFour(in + 2 * i + 24, out + i + 12, g, d);
  }
  for (; i + 4 <= frames; i += 4)
    foldFour(in + 2 * i, out + i, g, a);
  return maxPeaks(reduce(a, b, c, d), kPortableLoops.fold(in + 2 * i, out + i, frames - i, gain));
}

}  // namespace

const GainLoops kSse2Loops{"sse2", scaleSse2, foldSse2};

}  // namespace tavuno::rt
#endif
