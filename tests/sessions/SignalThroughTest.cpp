#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/taps/DuplexProcessTap.h"
#include "engine/taps/ProcessTap.h"
#include "tests/sessions/SessionFixture.h"

namespace tavuno::test {
namespace {

// A different, exactly representable value for every frame and channel, never silent.
float signal(std::uint64_t frame, std::uint32_t channel) {
  const float level = static_cast<float>(frame % 1000 + 1) / 1024.0f;
  return channel == 0 ? level : -level / 2;
}

class SignalThroughTest : public SessionFixture {
 protected:
  void SetUp() override { driver.setSignal(signal); }

  static bool fullyWritten(const std::vector<float>& samples) {
    return std::none_of(samples.begin(), samples.end(),
                        [](float s) { return s == SimTapDriver::unwritten; });
  }
};

TEST_F(SignalThroughTest, StandardSessionPlaysTheTappedMixAtItsGain) {
  const AudioDevice speakers = addOutput("speakers");
  ProcessTap session(ports, nullptr);
  session.setGain(0.5f, false);
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  driver.advance(0.1);  // 9 cycles of 512 frames at 48 kHz

  const auto& played = driver.played(speakers.id);
  ASSERT_EQ(played.channels, 2u);
  ASSERT_EQ(played.samples.size(), 9u * 512 * 2);
  ASSERT_TRUE(fullyWritten(played.samples));
  for (std::size_t i = 0; i < played.samples.size() / 2; ++i) {
    ASSERT_EQ(played.samples[2 * i], signal(i, 0) * 0.5f) << "frame " << i;
    ASSERT_EQ(played.samples[2 * i + 1], signal(i, 1) * 0.5f) << "frame " << i;
  }
  const auto diagnostics = session.diagnostics();
  EXPECT_EQ(diagnostics.callbacks, 9u);
  EXPECT_EQ(diagnostics.outputPeak, diagnostics.inputPeak * 0.5f);
  EXPECT_FALSE(session.shouldStopForBufferHealth(driver.now()));

  // Muting takes effect from the next buffer, in full.
  session.setGain(1.0f, true);
  driver.clearPlayed();
  driver.advance(512 / 48000.0);
  EXPECT_EQ(driver.played(speakers.id).samples, std::vector<float>(1024, 0.0f));

  session.stop();
  driver.clearPlayed();
  driver.advance(0.1);
  EXPECT_TRUE(driver.played(speakers.id).samples.empty());
}

TEST_F(SignalThroughTest, StandardSessionFoldsToMonoForAOneChannelOutput) {
  const AudioDevice speaker = addOutput("mono", {1});
  ProcessTap session(ports, nullptr);
  session.setGain(0.25f, false);
  ASSERT_EQ(session.start(processes, speaker), std::nullopt);
  driver.advance(0.05);

  const auto& played = driver.played(speaker.id);
  ASSERT_EQ(played.channels, 1u);
  ASSERT_FALSE(played.samples.empty());
  ASSERT_TRUE(fullyWritten(played.samples));
  for (std::size_t i = 0; i < played.samples.size(); ++i)
    ASSERT_EQ(played.samples[i], (signal(i, 0) + signal(i, 1)) * 0.5f * 0.25f) << "frame " << i;
}

TEST_F(SignalThroughTest, DuplexSessionPrefillsThenPlaysEveryCapturedFrameInOrder) {
  const AudioDevice loopback = addLoopback("loopback");
  DuplexProcessTap session(ports, nullptr, std::nullopt, 2048);
  session.setGain(0.5f, false);
  ASSERT_EQ(session.start(processes, loopback), std::nullopt);
  driver.advance(2.0);

  const auto& played = driver.played(loopback.id);
  ASSERT_EQ(played.channels, 2u);
  ASSERT_TRUE(fullyWritten(played.samples));
  const std::size_t renders = played.samples.size() / (2 * 512);
  ASSERT_GT(renders, 100u);
  // Four renders of silence while the ring fills to 2048 frames, then the capture, unbroken.
  const std::size_t prefill = 2048;
  EXPECT_EQ(std::vector<float>(played.samples.begin(), played.samples.begin() + 2 * prefill),
            std::vector<float>(2 * prefill, 0.0f));
  for (std::size_t i = 0; i < played.samples.size() / 2 - prefill; ++i) {
    ASSERT_EQ(played.samples[2 * (prefill + i)], signal(i, 0) * 0.5f) << "frame " << i;
    ASSERT_EQ(played.samples[2 * (prefill + i) + 1], signal(i, 1) * 0.5f) << "frame " << i;
  }
  EXPECT_EQ(session.diagnostics().callbacks, renders - 4);
  EXPECT_FALSE(session.shouldStopForBufferHealth(driver.now()));
}

TEST_F(SignalThroughTest, DuplexSessionReportsAStalledCaptureAfterTheFirstSecond) {
  const AudioDevice loopback = addLoopback("loopback");
  DuplexProcessTap session(ports, nullptr, std::nullopt, 2048);
  ASSERT_EQ(session.start(processes, loopback), std::nullopt);
  driver.advance(0.5);
  EXPECT_FALSE(session.shouldStopForBufferHealth(driver.now()));
  driver.advance(0.6);
  EXPECT_FALSE(session.shouldStopForBufferHealth(driver.now()));

  // The capture device stops delivering; playback drains the ring and then plays silence.
  const IOProcID capture = lastProc();
  ASSERT_EQ(sim.deviceStop(sim.ioProcs().at(capture).device, capture), status::noError);
  const std::uint32_t before = session.diagnostics().callbacks;
  driver.advance(0.1);
  EXPECT_GT(session.diagnostics().callbacks, before);  // the watchdog still sees progress
  EXPECT_TRUE(session.shouldStopForBufferHealth(driver.now()));
}

}  // namespace
}  // namespace tavuno::test
