#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "engine/rt/taudio_ring.h"
#include "engine/rt/tdsp.h"

#ifndef TAVUNO_STRESS_FRAMES
#define TAVUNO_STRESS_FRAMES 10000000
#endif

namespace tavuno {
namespace {

// Small and not a power of two, so that both sides wrap constantly and collide often.
constexpr uint32_t kCapacity = 61;
constexpr uint32_t kMaxChunk = 48;
constexpr uint32_t kMismatchEvery = 4096;  // reader callbacks between format mismatches

// Frame n carries n in its left sample and ~n in its right sample, as raw bits: a torn or
// misplaced frame breaks the pair, and no frame looks like silence (0, 0).
void putFrame(float* frame, uint32_t n) {
  frame[0] = std::bit_cast<float>(n);
  frame[1] = std::bit_cast<float>(~n);
}

// Cheap per-thread chunk sizes in 1 ... kMaxChunk.
struct Chunks {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return 1 + (state >> 8) % kMaxChunk;
  }
};

struct WriterResult {
  uint64_t dropped = 0;
  uint64_t droppedSum = 0;  // of the sequence numbers dropped
};

struct ReaderResult {
  uint64_t delivered = 0;
  uint64_t deliveredSum = 0;
  uint64_t silence = 0;
  uint64_t reads = 0;
  uint64_t callbacks = 0;   // buffers the kernel processed
  uint64_t meteredGap = 0;  // silence within those buffers
  uint64_t mismatches = 0;
  uint64_t faults = 0;  // out-of-order, torn or non-silent padding frames
};

// One capture callback writes numbered frames, one render callback reads them and runs the
// kernel on what it got, as the duplex session does; a third thread watches the counters,
// fill level and meters and moves the gain throughout.
TEST(AudioRingStress, FramesCrossOnceInOrderAndEveryLossIsCounted) {
  const uint64_t total = TAVUNO_STRESS_FRAMES;
  ASSERT_LT(total, uint64_t{1} << 32);
  std::unique_ptr<taudio_ring, decltype(&taudio_ring_destroy)> ring(taudio_ring_create(kCapacity),
                                                                    &taudio_ring_destroy);
  std::unique_ptr<tdsp_state, decltype(&tdsp_destroy)> dsp(tdsp_create(), &tdsp_destroy);
  std::atomic<bool> writerDone{false};
  std::atomic<bool> readerDone{false};
  std::latch start(3);
  WriterResult w;
  ReaderResult r;
  uint64_t observations = 0, observerFaults = 0;

  std::thread writer([&] {
    Chunks chunks{1};
    std::vector<float> frames(2 * kMaxChunk);
    start.arrive_and_wait();
    for (uint64_t next = 0; next < total;) {
      const auto n = static_cast<uint32_t>(std::min<uint64_t>(chunks.next(), total - next));
      for (uint32_t i = 0; i < n; ++i)
        putFrame(&frames[2 * i], static_cast<uint32_t>(next + i));
      const uint32_t stored = taudio_ring_write(ring.get(), frames.data(), n);
      for (uint32_t i = stored; i < n; ++i)
        w.droppedSum += next + i;
      w.dropped += n - stored;
      next += n;
      // A full ring makes the writer wait, as a capture callback waits for its next period;
      // the occasional extra pause varies the pace.
      if (stored < n || chunks.state % 7 == 0) std::this_thread::yield();
    }
    writerDone.store(true, std::memory_order_release);
  });

  std::thread reader([&] {
    Chunks chunks{2};
    std::vector<float> frames(2 * kMaxChunk), out(2 * kMaxChunk);
    int64_t last = -1;
    start.arrive_and_wait();
    for (;;) {
      // Acquire: once the writer is seen done, every frame it stored is visible to this read.
      const bool finished = writerDone.load(std::memory_order_acquire);
      const uint32_t n = chunks.next();
      const uint32_t got = taudio_ring_read(ring.get(), frames.data(), n);
      for (uint32_t i = 0; i < got; ++i) {
        const auto seq = std::bit_cast<uint32_t>(frames[2 * i]);
        if (std::bit_cast<uint32_t>(frames[2 * i + 1]) != ~seq || int64_t{seq} <= last) {
          ++r.faults;
        }
        last = seq;
        r.deliveredSum += seq;
      }
      for (uint32_t i = 2 * got; i < 2 * n; ++i) {
        if (std::bit_cast<uint32_t>(frames[i]) != 0) ++r.faults;
      }
      r.delivered += got;
      r.silence += n - got;

      // The kernel sees a level derived from the frames, 0.0 ... 0.99.
      for (uint32_t i = 0; i < 2 * got; ++i) {
        frames[i] = float(std::bit_cast<uint32_t>(frames[2 * (i / 2)]) % 100) / 100.0f;
      }
      if (++r.reads % kMismatchEvery == 0) {
        tdsp_format_mismatch(dsp.get());
        ++r.mismatches;
      } else {
        if (r.reads % 2 == 0) {
          tdsp_process(dsp.get(), frames.data(), 2 * got, out.data(), 2 * n);
        } else {
          tdsp_stereo_to_mono(dsp.get(), frames.data(), got, out.data(), n);
        }
        ++r.callbacks;
        r.meteredGap += n - got;
      }
      if (finished && got < n) break;  // the ring is empty and nothing more can come
      if (got < n || chunks.state % 5 == 0) std::this_thread::yield();
    }
    readerDone.store(true, std::memory_order_release);
  });

  std::thread observer([&] {
    Chunks gains{3};
    uint64_t ringUnder = 0, ringOver = 0;
    uint32_t callbacks = 0, under = 0, over = 0;
    start.arrive_and_wait();
    while (!readerDone.load(std::memory_order_acquire)) {
      const uint64_t nowUnder = taudio_ring_underruns(ring.get());
      const uint64_t nowOver = taudio_ring_overruns(ring.get());
      const uint32_t nowCallbacks = tdsp_callbacks(dsp.get());
      const uint32_t nowKernelUnder = tdsp_underruns(dsp.get());
      const uint32_t nowKernelOver = tdsp_overruns(dsp.get());
      const float in = tdsp_input_peak(dsp.get());
      const float out = tdsp_output_peak(dsp.get());
      const bool ok = taudio_ring_available(ring.get()) <= kCapacity && nowUnder >= ringUnder &&
                      nowOver >= ringOver && nowCallbacks >= callbacks && nowKernelUnder >= under &&
                      nowKernelOver >= over && in >= 0.0f && in < 1.0f && out >= 0.0f && out < 1.0f;
      observerFaults += ok ? 0 : 1;
      ringUnder = nowUnder;
      ringOver = nowOver;
      callbacks = nowCallbacks;
      under = nowKernelUnder;
      over = nowKernelOver;
      const uint32_t g = gains.next();
      tdsp_set_gain(dsp.get(), float(g) / kMaxChunk, g % 11 == 0);
      ++observations;
      std::this_thread::yield();
    }
  });

  writer.join();
  reader.join();
  observer.join();

  EXPECT_EQ(r.faults, 0u);
  EXPECT_EQ(observerFaults, 0u);
  EXPECT_GT(observations, 0u);
  // Every frame offered was either delivered or dropped, none twice.
  EXPECT_EQ(r.delivered + w.dropped, total);
  EXPECT_EQ(r.deliveredSum + w.droppedSum, total * (total - 1) / 2);
  EXPECT_EQ(taudio_ring_overruns(ring.get()), w.dropped);
  EXPECT_EQ(taudio_ring_underruns(ring.get()), r.silence);
  EXPECT_EQ(taudio_ring_available(ring.get()), 0u);
  // The kernel counted every buffer it processed, their silence as frames, and the mismatches.
  EXPECT_EQ(tdsp_callbacks(dsp.get()), static_cast<uint32_t>(r.callbacks));
  EXPECT_EQ(tdsp_underruns(dsp.get()), static_cast<uint32_t>(r.meteredGap + 1025 * r.mismatches));
  EXPECT_EQ(tdsp_overruns(dsp.get()), 0u);
  // Both losses happened, or the test proved little.
  EXPECT_GT(w.dropped, 0u);
  EXPECT_GT(r.silence, 0u);
  EXPECT_GT(r.delivered, total / 20);
  std::printf("delivered %llu, dropped %llu, silence %llu, callbacks %llu, observations %llu\n",
              (unsigned long long)r.delivered, (unsigned long long)w.dropped,
              (unsigned long long)r.silence, (unsigned long long)r.callbacks,
              (unsigned long long)observations);
}

}  // namespace
}  // namespace tavuno
