#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <latch>
#include <thread>
#include <vector>

#include "engine/taps/DuplexProcessTap.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimTapPlatform.h"

#ifndef TAVUNO_STRESS_FRAMES
#define TAVUNO_STRESS_FRAMES 10000000
#endif

namespace tavuno {
namespace {

constexpr std::uint32_t kMaxChunk = 256;
// Frame numbers travel as floats, exact below 2^24; the gains are powers of two, so a number
// survives the gain exactly and the left sample (1.0 before the gain) shows the gain used.
constexpr std::uint64_t kMaxFrames = (std::uint64_t{1} << 24) - 2;
constexpr float kGains[] = {1.0f, 0.5f, 0.25f};

struct Chunks {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return 1 + (state >> 8) % kMaxChunk;
  }
};

// A one-buffer stereo list over its own samples.
struct StereoList {
  std::uint64_t storage[3] = {};
  std::vector<float> samples = std::vector<float>(2 * kMaxChunk);
  AudioBufferList* use(std::uint32_t frames) {
    auto* list = reinterpret_cast<AudioBufferList*>(storage);
    list->mNumberBuffers = 1;
    bufferAt(*list, 0) = {2, 8 * frames, samples.data()};
    return list;
  }
};

// The capture and render callbacks of a running duplex session run on two threads, as the
// capture queue and the output unit's render thread would, while a third plays the owner: it
// moves the gain and reads diagnostics, ring counts and the health rule throughout.
TEST(DuplexSessionStress, CapturedFramesPlayOnceInOrderWhileTheOwnerWatches) {
  const std::uint64_t total = std::min<std::uint64_t>(TAVUNO_STRESS_FRAMES, kMaxFrames);
  SimTapPlatform sim;
  ManualSerialQueueFactory queues;
  const AudioDevice loopback{.id = sim.addDevice({.uid = "loopback",
                                                  .outputStreams = {floatFormat(48000, 2)},
                                                  .inputStreams = {floatFormat(48000, 2)}}),
                             .uid = "loopback",
                             .input = true,
                             .output = true};
  DuplexProcessTap session({sim, queues, [] { return 0.0; }}, nullptr, std::nullopt, 2048);
  ASSERT_EQ(session.start({501}, loopback), std::nullopt);
  const IOProcID capture = sim.ioProcs().begin()->first;
  const AudioUnitRef unit = sim.units().begin()->first;

  std::atomic<bool> captureDone{false}, renderDone{false};
  std::atomic<std::uint64_t> renders{0};  // buffers the output has asked for
  std::latch start(3);
  std::uint64_t delivered = 0, processed = 0, missing = 0, faults = 0, ownerFaults = 0;

  std::thread captureThread([&] {
    Chunks chunks{1};
    StereoList in;
    std::uint64_t droppedBefore = 0;
    start.arrive_and_wait();
    for (std::uint64_t next = 0; next < total;) {
      const auto n =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(chunks.next(), total - next));
      for (std::uint32_t i = 0; i < n; ++i) {
        in.samples[2 * i] = 1.0f;
        in.samples[2 * i + 1] = static_cast<float>(next + i + 1);
      }
      if (sim.runIOProc(capture, in.use(n), nullptr) != status::noError) break;
      next += n;
      // A full ring makes capture wait for its next period, which comes as the output plays
      // one: on a busy machine a capture that only yielded would outrun a starved render and
      // drop nearly everything.
      const std::uint64_t dropped = session.ringCounts().overruns;
      if (dropped > droppedBefore) {
        const std::uint64_t seen = renders.load(std::memory_order_relaxed);
        while (renders.load(std::memory_order_relaxed) == seen &&
               !renderDone.load(std::memory_order_acquire))
          std::this_thread::yield();
      } else if (chunks.state % 7 == 0) {
        std::this_thread::yield();
      }
      droppedBefore = dropped;
    }
    captureDone.store(true, std::memory_order_release);
  });

  std::thread renderThread([&] {
    Chunks chunks{2};
    StereoList out;
    std::int64_t last = 0;
    start.arrive_and_wait();
    for (;;) {
      // Acquire: once capture is seen done, everything it stored is visible to this render.
      const bool finished = captureDone.load(std::memory_order_acquire);
      const std::uint32_t n = chunks.next();
      std::fill(out.samples.begin(), out.samples.end(), -7.0f);
      if (sim.render(unit, n, out.use(n)) != status::noError) break;
      renders.fetch_add(1, std::memory_order_relaxed);
      // Each buffer: frames in order at one of the gains, then silence for what was missing.
      std::uint32_t got = 0;
      while (got < n && out.samples[2 * got] != 0.0f)
        ++got;
      const float gain = out.samples[0];
      faults +=
          got > 0 && std::find(std::begin(kGains), std::end(kGains), gain) == std::end(kGains);
      for (std::uint32_t i = 0; i < got; ++i) {
        const float left = out.samples[2 * i], right = out.samples[2 * i + 1];
        const auto number = static_cast<std::int64_t>(right / left);
        faults += left != gain || static_cast<float>(number) * left != right || number <= last;
        last = number;
      }
      for (std::uint32_t i = 2 * got; i < 2 * n; ++i)
        faults += out.samples[i] != 0.0f;
      // Prefilling ends with the first buffer that carries frames; from then on all count.
      if (got > 0 || processed > 0) {
        ++processed;
        missing += n - got;
      }
      delivered += got;
      if (finished && got < n) break;  // drained, and nothing more can come
      if (got < n || chunks.state % 5 == 0) std::this_thread::yield();
    }
    renderDone.store(true, std::memory_order_release);
  });

  std::thread owner([&] {
    Chunks pace{3};
    SessionDiagnostics seen;
    DuplexProcessTap::RingCounts counts;
    start.arrive_and_wait();
    for (double now = 0; !renderDone.load(std::memory_order_acquire); now += 0.01) {
      session.setGain(kGains[pace.next() % 3], false);
      const SessionDiagnostics d = session.diagnostics();
      const auto c = session.ringCounts();
      ownerFaults += d.callbacks < seen.callbacks || !(d.inputPeak >= 0 && d.inputPeak <= total) ||
                     !(d.outputPeak >= 0 && d.outputPeak <= total) ||
                     c.underruns < counts.underruns || c.overruns < counts.overruns;
      seen = d;
      counts = c;
      static_cast<void>(session.shouldStopForBufferHealth(now));
      std::this_thread::yield();
    }
  });

  captureThread.join();
  renderThread.join();
  owner.join();

  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(ownerFaults, 0u);
  // Every captured frame was played or dropped at the ring, none twice; every silent frame
  // after playback began was counted as missing; the kernel counted every buffer it played.
  const auto counts = session.ringCounts();
  EXPECT_EQ(delivered + counts.overruns, total);
  EXPECT_EQ(counts.underruns, missing);
  EXPECT_EQ(session.diagnostics().callbacks, static_cast<std::uint32_t>(processed));
  EXPECT_GT(delivered, total / 20);
  session.stop();
  EXPECT_EQ(sim.liveObjectCount(), 0u);
}

}  // namespace
}  // namespace tavuno
