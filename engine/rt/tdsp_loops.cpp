#include "engine/rt/tdsp_loops.h"

#include <array>
#include <atomic>
#include <cmath>

namespace tavuno::rt {
namespace {

Peaks scalePortable(const float* in, float* out, uint32_t samples, float gain) {
  Peaks peaks;
  for (uint32_t i = 0; i < samples; ++i) {
    const float x = in[i];  // read before the write: in may be out
    const float y = x * gain;
    out[i] = y;
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    if (ax > peaks.input) peaks.input = ax;
    if (ay > peaks.output) peaks.output = ay;
  }
  return peaks;
}

Peaks foldPortable(const float* in, float* out, uint32_t frames, float gain) {
  Peaks peaks;
  for (uint32_t i = 0; i < frames; ++i) {
    const float x = (in[2 * i] + in[2 * i + 1]) * 0.5f;
    const float y = x * gain;
    out[i] = y;
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    if (ax > peaks.input) peaks.input = ax;
    if (ay > peaks.output) peaks.output = ay;
  }
  return peaks;
}

struct Variants {
  std::array<const GainLoops*, 3> list{};
  uint32_t count = 0;
};

Variants detectVariants() {
  Variants v;
  v.list[v.count++] = &kPortableLoops;
#ifdef TAVUNO_RT_X86
  __builtin_cpu_init();             // may run before libgcc's own initialiser
  v.list[v.count++] = &kSse2Loops;  // part of the x86-64 baseline
  if (__builtin_cpu_supports("avx2")) v.list[v.count++] = &kAvx2Loops;
#endif
  return v;
}

// Filled by a dynamic initialiser, so while the library loads, before any stream can start.
const Variants kSupported = detectVariants();

// Read once per buffer by the real-time thread; written at load time and by useGainLoops,
// which its contract keeps away from running callbacks. Relaxed suffices: the tables it points
// to are constants.
std::atomic<const GainLoops*> active{&kPortableLoops};
[[maybe_unused]] const bool kActiveChosen = [] {
  active.store(kSupported.list[kSupported.count - 1], std::memory_order_relaxed);
  return true;
}();

}  // namespace

const GainLoops kPortableLoops{"portable", scalePortable, foldPortable};

std::span<const GainLoops* const> supportedGainLoops() {
  return {kSupported.list.data(), kSupported.count};
}

const GainLoops& activeGainLoops() {
  return *active.load(std::memory_order_relaxed);
}

void useGainLoops(const GainLoops& loops) {
  active.store(&loops, std::memory_order_relaxed);
}

}  // namespace tavuno::rt
