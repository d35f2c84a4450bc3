#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/Benchmarks.h"
#include "engine/rt/tdsp.h"
#include "engine/rt/tdsp_loops.h"

namespace tavuno::bench {
namespace {

constexpr uint32_t kFrames = 512;
constexpr uint32_t kSamples = 2 * kFrames;
constexpr int64_t kBufferBytes = kSamples * sizeof(float);

std::vector<float> noise() {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  std::vector<float> v(kSamples);
  for (float& x : v)
    x = level(rng);
  return v;
}

void memcpyBuffer(benchmark::State& state) {
  const std::vector<float> in = noise();
  std::vector<float> out(kSamples);
  for (auto _ : state) {
    benchmark::DoNotOptimize(in.data());
    std::memcpy(out.data(), in.data(), kBufferBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBufferBytes);
}

// Runs `body` with the kernel switched to `loops`; the benchmarks run one at a time, with no
// real-time callback anywhere, as useGainLoops requires.
template <class Body>
void withLoops(benchmark::State& state, const rt::GainLoops* loops, Body body) {
  const rt::GainLoops& chosen = rt::activeGainLoops();
  rt::useGainLoops(*loops);
  std::unique_ptr<tdsp_state, decltype(&tdsp_destroy)> dsp(tdsp_create(), &tdsp_destroy);
  tdsp_set_gain(dsp.get(), 0.7f, false);
  const std::vector<float> in = noise();
  std::vector<float> out(kSamples);
  for (auto _ : state) {
    body(dsp.get(), in.data(), out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBufferBytes);  // input bytes, as memcpy
  rt::useGainLoops(chosen);
}

}  // namespace

void registerTdspBenchmarks() {
  benchmark::RegisterBenchmark(kReference, memcpyBuffer);
  for (const rt::GainLoops* loops : rt::supportedGainLoops()) {
    const std::string suffix =
        std::string("/") + loops->name + (loops == &rt::activeGainLoops() ? "_chosen" : "");
    benchmark::RegisterBenchmark(("tdsp_process" + suffix).c_str(), [loops](auto& state) {
      withLoops(state, loops, [](tdsp_state* dsp, const float* in, float* out) {
        tdsp_process(dsp, in, kSamples, out, kSamples);
      });
    });
    benchmark::RegisterBenchmark(("tdsp_stereo_to_mono" + suffix).c_str(), [loops](auto& state) {
      withLoops(state, loops, [](tdsp_state* dsp, const float* in, float* out) {
        tdsp_stereo_to_mono(dsp, in, kFrames, out, kFrames);
      });
    });
  }
}

}  // namespace tavuno::bench
