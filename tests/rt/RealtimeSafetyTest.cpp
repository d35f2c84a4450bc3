#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/rt/taudio_ring.h"
#include "engine/rt/tdsp.h"
#include "engine/rt/tdsp_loops.h"
#include "tests/rt/RealtimeProbe.h"

namespace tavuno {
namespace {

// Keeps the compiler from eliding an allocation whose memory is never used.
void* volatile sink = nullptr;

// Without this control a broken probe would let every other test here pass.
TEST(RealtimeSafety, ProbeSeesAllocationsAndLocks) {
  std::mutex mutex;
  RealtimeProbe probe;
  auto boxed = std::make_unique<int>(1);
  sink = boxed.get();
  void* raw = std::malloc(16);
  sink = raw;
  std::free(raw);
  { std::lock_guard<std::mutex> guard(mutex); }
  EXPECT_EQ(probe.allocations(), 2);
  if (RealtimeProbe::countsLocks()) {
    EXPECT_EQ(probe.locks(), 1);
  }
}

// Every real-time entry point, on every supported loop variant and through every path: full,
// short, surplus, null input, in place, overlapping, and the ring's wrap, overrun and underrun.
TEST(RealtimeSafety, RealTimeFunctionsNeitherAllocateNorLock) {
  std::unique_ptr<tdsp_state, decltype(&tdsp_destroy)> state(tdsp_create(), &tdsp_destroy);
  std::unique_ptr<taudio_ring, decltype(&taudio_ring_destroy)> ring(taudio_ring_create(300),
                                                                    &taudio_ring_destroy);
  std::vector<float> a(2048, 0.5f), b(2048);
  const rt::GainLoops& chosen = rt::activeGainLoops();

  for (const rt::GainLoops* loops : rt::supportedGainLoops()) {
    SCOPED_TRACE(loops->name);
    rt::useGainLoops(*loops);
    RealtimeProbe probe;
    tdsp_process(state.get(), a.data(), 1024, b.data(), 1024);
    tdsp_process(state.get(), a.data(), 600, b.data(), 1024);
    tdsp_process(state.get(), a.data(), 1024, b.data(), 600);
    tdsp_process(state.get(), nullptr, 1024, b.data(), 1024);
    tdsp_process(state.get(), b.data(), 1024, b.data(), 1024);
    tdsp_process(state.get(), b.data(), 1000, b.data() + 2, 1000);
    tdsp_stereo_to_mono(state.get(), a.data(), 512, b.data(), 512);
    tdsp_stereo_to_mono(state.get(), b.data(), 512, b.data(), 400);
    tdsp_format_mismatch(state.get());
    for (int i = 0; i < 4; ++i) {
      taudio_ring_write(ring.get(), a.data(), 256);
      taudio_ring_write(ring.get(), a.data(), 256);
      taudio_ring_available(ring.get());
      taudio_ring_read(ring.get(), b.data(), 200);
      taudio_ring_read(ring.get(), b.data(), 300);
    }
    EXPECT_EQ(probe.allocations(), 0);
    EXPECT_EQ(probe.locks(), 0);
  }
  rt::useGainLoops(chosen);
  EXPECT_GT(taudio_ring_overruns(ring.get()), 0u);
  EXPECT_GT(taudio_ring_underruns(ring.get()), 0u);
}

}  // namespace
}  // namespace tavuno
