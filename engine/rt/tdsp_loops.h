// Inner loops of the gain and meter kernel, one set per instruction-set variant.
//
// Every variant computes exactly what the portable one does, sample for sample: the same IEEE
// single-precision products, and maxima that ignore NaN (a value replaces the maximum only when
// strictly greater). All compared values are absolute values and thus +0.0 or above, so the
// maximum does not depend on the order in which lanes are combined.
//
// The loops run on the real-time thread: they never allocate, lock or log.
#ifndef TAVUNO_ENGINE_RT_TDSP_LOOPS_H
#define TAVUNO_ENGINE_RT_TDSP_LOOPS_H

#include <cstdint>
#include <span>

namespace tavuno::rt {

struct Peaks {
  float input = 0.0f;   // largest |x|
  float output = 0.0f;  // largest |x * gain|
};

// The larger of each pair. Peaks are never NaN, so a plain comparison is the strict maximum.
inline Peaks maxPeaks(Peaks a, Peaks b) {
  return {b.input > a.input ? b.input : a.input, b.output > a.output ? b.output : a.output};
}

struct GainLoops {
  const char* name;
  // out[i] = in[i] * gain for i < samples. in and out are the same buffer or do not overlap.
  Peaks (*scale)(const float* in, float* out, uint32_t samples, float gain);
  // x = (in[2i] + in[2i + 1]) * 0.5, out[i] = x * gain for i < frames; the input peak is the
  // peak of x. in and out are the same buffer or do not overlap.
  Peaks (*fold)(const float* in, float* out, uint32_t frames, float gain);
};

// The plain loops: correct for any overlap of in and out, and the reference for the others.
extern const GainLoops kPortableLoops;

// The variants this processor can run, portable first, widest last.
std::span<const GainLoops* const> supportedGainLoops();

// The loops the kernel uses: the widest supported variant, chosen once when the library loads.
const GainLoops& activeGainLoops();

// Makes the kernel use `loops` (one of supportedGainLoops()). For tests and benchmarks only:
// never while a real-time callback may run.
void useGainLoops(const GainLoops& loops);

#if defined(__x86_64__)
#define TAVUNO_RT_X86 1
extern const GainLoops kSse2Loops;
extern const GainLoops kAvx2Loops;
#endif

}  // namespace tavuno::rt

#endif  // TAVUNO_ENGINE_RT_TDSP_LOOPS_H
