#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <latch>
#include <thread>
#include <vector>

#include "engine/sessions/DuplexProcessTap.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimTapPlatform.h"

#ifndef TAVUNO_STRESS_FRAMES
#define TAVUNO_STRESS_FRAMES 10000000
#endif

namespace tavuno {
namespace {

constexpr std::uint32_t kMaxChunk = 256;
// Frame numbers travel as floats, exact below 2^24; gains are powers of two so that the
// number survives the gain exactly.
constexpr std::uint64_t kMaxFrames = (std::uint64_t{1} << 24) - 2;
constexpr float kGains[] = {1.0f, 0.5f, 0.25f};

struct Chunks {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return 1 + (state >> 8) % kMaxChunk;
  }
};

// A one-buffer stereo list over `samples`.
struct StereoList {
  std::vector<std::uint64_t> storage = std::vector<std::uint64_t>(3, 0);
  std::vector<float> samples = std::vector<float>(2 * kMaxChunk);
  AudioBufferList* use(std::uint32_t frames) {
    auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
    list->mNumberBuffers = 1;
    bufferAt(*list, 0) = {2, 8 * frames, samples.data()};
    return list;
  }
};

struct RenderResult {
  std::uint64_t delivered = 0;
  std::uint64_t processed = 0;  // buffers from the first one playback took from the ring
  std::uint64_t missing = 0;    // silent frames within those buffers
  std::uint64_t faults = 0;     // disorder, torn frames, mixed gains, silence mid-buffer
};

// The capture callback and the render callback of one running duplex session run on two
// threads, as the capture queue and the output unit's render thread would, while a third
// thread plays the orchestration: it moves the gain and reads diagnostics, ring counts and the
// health rule throughout.
TEST(DuplexSessionStress, CapturedFramesPlayOnceInOrderWhileTheOwnerWatches) {
  const std::uint64_t total = std::min<std::uint64_t>(TAVUNO_STRESS_FRAMES, kMaxFrames);
  SimTapPlatform sim;
  ManualSerialQueueFactory queues;
  SimTapPlatform::Device device{.uid = "loopback",
                                .outputStreams = {floatFormat(48000, 2)},
                                .inputStreams = {floatFormat(48000, 2)}};
  const AudioDevice loopback{
      .id = sim.addDevice(device), .uid = "loopback", .input = true, .output = true};
  DuplexProcessTap session({sim, queues, [] { return 0.0; }}, nullptr, std::nullopt, 2048);
  ASSERT_EQ(session.start({501}, loopback), std::nullopt);
  const IOProcID capture = sim.ioProcs().begin()->first;
  const AudioUnitRef unit = sim.units().begin()->first;

  std::atomic<bool> captureDone{false}, renderDone{false};
  std::latch start(3);
  RenderResult r;
  std::uint64_t observations = 0, observerFaults = 0;

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
      if (sim.runIOProc(capture, in.use(n), nullptr) != status::noError) return;
      next += n;
      // A full ring makes capture wait, as a capture callback waits for its next period; the
      // occasional extra pause varies the pace.
      const std::uint64_t dropped = session.ringCounts().overruns;
      if (dropped > droppedBefore || chunks.state % 7 == 0) std::this_thread::yield();
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
      AudioBufferList* list = out.use(n);
      std::fill(out.samples.begin(), out.samples.end(), -7.0f);
      if (sim.render(unit, n, list) != status::noError) break;
      std::uint32_t got = 0;
      while (got < n && out.samples[2 * got] != 0.0f)
        ++got;
      const float gain = got > 0 ? out.samples[0] : 0.0f;
      if (got > 0 && std::find(std::begin(kGains), std::end(kGains), gain) == std::end(kGains))
        ++r.faults;
      for (std::uint32_t i = 0; i < got; ++i) {
        const float left = out.samples[2 * i], right = out.samples[2 * i + 1];
        const auto number = static_cast<std::int64_t>(right / left);
        if (left != gain || static_cast<float>(number) * left != right || number <= last)
          ++r.faults;
        last = number;
      }
      for (std::uint32_t i = 2 * got; i < 2 * n; ++i)
        r.faults += out.samples[i] != 0.0f;
      if (got > 0 || r.processed > 0) {
        ++r.processed;
        r.missing += n - got;
      }
      r.delivered += got;
      if (finished && got < n) break;  // drained, and nothing more can come
      if (got < n || chunks.state % 5 == 0) std::this_thread::yield();
    }
    renderDone.store(true, std::memory_order_release);
  });

  std::thread owner([&] {
    Chunks pace{3};
    std::uint32_t callbacks = 0;
    DuplexProcessTap::RingCounts counts;
    double now = 0;
    start.arrive_and_wait();
    while (!renderDone.load(std::memory_order_acquire)) {
      session.setGain(kGains[pace.next() % 3], false);
      const SessionDiagnostics d = session.diagnostics();
      const auto c = session.ringCounts();
      const bool ok = d.callbacks >= callbacks && d.inputPeak >= 0 && d.inputPeak <= float(total) &&
                      d.outputPeak >= 0 && d.outputPeak <= float(total) &&
                      c.underruns >= counts.underruns && c.overruns >= counts.overruns;
      observerFaults += ok ? 0 : 1;
      callbacks = d.callbacks;
      counts = c;
      now += 0.01;
      static_cast<void>(session.shouldStopForBufferHealth(now));
      ++observations;
      std::this_thread::yield();
    }
  });

  captureThread.join();
  renderThread.join();
  owner.join();

  EXPECT_EQ(r.faults, 0u);
  EXPECT_EQ(observerFaults, 0u);
  EXPECT_GT(observations, 0u);
  const auto counts = session.ringCounts();
  // Every captured frame was played or dropped at the ring, none twice; every silent frame
  // after playback began was counted as missing; the kernel counted every buffer it played.
  EXPECT_EQ(r.delivered + counts.overruns, total);
  EXPECT_EQ(counts.underruns, r.missing);
  EXPECT_EQ(session.diagnostics().callbacks, static_cast<std::uint32_t>(r.processed));
  EXPECT_GT(r.delivered, total / 20);

  session.stop();
  EXPECT_FALSE(session.cleanupFailed());
  EXPECT_EQ(sim.liveObjectCount(), 0u);
  std::printf("delivered %llu, dropped %llu, missing %llu, buffers %llu, observations %llu\n",
              (unsigned long long)r.delivered, (unsigned long long)counts.overruns,
              (unsigned long long)r.missing, (unsigned long long)r.processed,
              (unsigned long long)observations);
}

}  // namespace
}  // namespace tavuno
