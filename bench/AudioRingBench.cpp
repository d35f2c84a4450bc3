#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "bench/Benchmarks.h"
#include "engine/rt/taudio_ring.h"

namespace tavuno::bench {
namespace {

constexpr uint32_t kChunk = 256;
constexpr uint32_t kCapacity = 4 * kChunk;
constexpr uint64_t kFramesPerIteration = 1 << 16;

// Busy-waits briefly, then gives the core away: the machine may have fewer free cores than
// threads, and a side that only spins could starve the other.
class Backoff {
 public:
  void wait() {
    if (++spins_ < 64) {
#if defined(__x86_64__)
      __builtin_ia32_pause();
#endif
      return;
    }
    spins_ = 0;
    std::this_thread::yield();
  }
  void reset() {
    spins_ = 0;
  }

 private:
  int spins_ = 0;
};

// The writer offers up to 256 frames at a time, as many as there is room for; the reader takes
// a 256-frame chunk whenever one is there. Nothing is dropped and no silence is read, so the figure
// is the ring's lossless throughput between two cores.
void streamThroughRing(benchmark::State& state) {
  std::unique_ptr<taudio_ring, decltype(&taudio_ring_destroy)> ring(taudio_ring_create(kCapacity),
                                                                    &taudio_ring_destroy);
  std::atomic<uint64_t> target{0};  // frames the reader should have read when it may stop
  std::atomic<uint64_t> consumed{0};
  std::atomic<bool> quit{false};

  std::thread reader([&] {
    std::vector<float> frames(2 * kChunk);
    uint64_t read = 0;
    Backoff backoff;
    while (!quit.load(std::memory_order_acquire)) {
      if (read < target.load(std::memory_order_acquire) &&
          taudio_ring_available(ring.get()) >= kChunk) {
        read += taudio_ring_read(ring.get(), frames.data(), kChunk);
        consumed.store(read, std::memory_order_release);
        backoff.reset();
      } else {
        backoff.wait();
      }
    }
  });

  std::vector<float> frames(2 * kChunk, 0.25f);
  uint64_t written = 0;
  Backoff backoff;
  for (auto _ : state) {
    const uint64_t end = written + kFramesPerIteration;
    target.store(end, std::memory_order_release);
    while (written < end) {
      // The writer's view of the fill level is exact, so it offers only what fits.
      const auto room = static_cast<uint32_t>(kCapacity - taudio_ring_available(ring.get()));
      if (room == 0) {
        backoff.wait();
        continue;
      }
      backoff.reset();
      const auto n = static_cast<uint32_t>(std::min<uint64_t>({room, kChunk, end - written}));
      written += taudio_ring_write(ring.get(), frames.data(), n);
    }
    while (consumed.load(std::memory_order_acquire) < end)
      backoff.wait();
  }
  quit.store(true, std::memory_order_release);
  reader.join();
  if (taudio_ring_overruns(ring.get()) != 0 || taudio_ring_underruns(ring.get()) != 0) {
    state.SkipWithError("the ring lost frames");
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
  state.SetBytesProcessed(state.iterations() * kFramesPerIteration * 2 * sizeof(float));
}

}  // namespace

void registerAudioRingBenchmarks() {
  benchmark::RegisterBenchmark("taudio_ring/stream_256_frame_chunks", streamThroughRing)
      ->UseRealTime();
}

}  // namespace tavuno::bench
