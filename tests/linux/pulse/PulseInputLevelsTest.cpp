// The input meter against a private PulseAudio server: the peak-detecting record stream it opens
// on PipeWire's pulse server works on PulseAudio itself.
#include <gtest/gtest.h>

#include <atomic>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "linux/stack/AudioStack.h"
#include "platform/linux/LinuxBackEnd.h"
#include "platform/std/ThreadMainQueue.h"

namespace tavuno {
namespace {

using test::AudioStack;

class PulseInputLevelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioStack& s = AudioStack::shared({.server = AudioStack::Server::pulseaudio,
                                        .devices = AudioStack::Devices::session,
                                        .privateHome = true});
    if (!s.problem().empty()) {
      if (std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER")) FAIL() << s.problem();
      GTEST_SKIP() << s.problem();
    }
    stack = &s;
    backEnd.emplace(main,
                    LinuxBackEndOptions{
                        .server = s.pulseServer(), .syncTimeout = 10, .silentServerTimeout = 10});
    ASSERT_TRUE(backEnd->synced());
  }
  void TearDown() override {
    // A stream let go at the end is let go on the mirror's thread: that runs before the mirror
    // goes, or the stream would be left to the process's end.
    if (backEnd) {
      std::atomic<bool> served{false};
      backEnd->mirror().onLoop([&served](bool, pa_context*) { served = true; });
      pumpUntil([&] { return served.load(); });
    }
    backEnd.reset();
    if (module) stack->unloadModule(*module);
    if (player) stack->stop(player);
  }

  // Serves the main queue (the Hal takes the mirror's snapshots there) until `condition` holds.
  bool pumpUntil(const std::function<bool()>& condition, double seconds = 10) {
    const double deadline = main.uptime() + seconds;
    while (!condition()) {
      if (main.uptime() >= deadline) return false;
      main.postAfter(0.01, [this] { main.stop(); });
      main.run();
    }
    return true;
  }
  std::size_t meterStreams() {
    const std::string list = stack->pactl({"list", "source-outputs"}).value_or("");
    std::size_t count = 0;
    for (auto at = list.find("Tavuno input level"); at != std::string::npos;
         at = list.find("Tavuno input level", at + 1))
      ++count;
    return count;
  }

  AudioStack* stack = nullptr;
  ThreadMainQueue main;
  std::optional<LinuxBackEnd> backEnd;
  std::optional<std::uint32_t> module;
  pid_t player = 0;
};

TEST_F(PulseInputLevelsTest, AToneShowsOnTheMeterAMutedSourceNoneAndClosingEndsTheStream) {
  // A microphone that hears the USB DAC, where the tone (peak 0.5) plays.
  const char* source = "tavuno_pulse_mic";
  const auto loaded =
      stack->pactl({"load-module", "module-remap-source", std::string("source_name=") + source,
                    std::string("master=") + AudioStack::usbDac + ".monitor",
                    "source_properties=device.description=PulseMic"});
  ASSERT_TRUE(loaded);
  module = static_cast<std::uint32_t>(std::stoul(*loaded));
  stack->pactl({"set-source-mute", source, "0"});
  player = stack->playLoop("Talk", AudioStack::usbDac);
  AudioObjectID mic = 0;
  ASSERT_TRUE(pumpUntil([&] {
    for (const auto& [id, facts] : backEnd->hal().view().table.devices())
      if (!facts.output && facts.serverName == source) mic = id;
    return mic != 0;
  }));

  auto& levels = backEnd->inputLevels();
  EXPECT_EQ(levels.open(0), nullptr) << "an unknown device is not metered";
  auto stream = levels.open(mic);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(pumpUntil([&] { return stream->peak() > 0.3f; }))
      << "state " << static_cast<int>(stream->state());
  EXPECT_EQ(stream->state(), InputLevelStream::State::running);
  EXPECT_EQ(meterStreams(), 1u);

  stack->pactl({"set-source-mute", source, "1"});
  EXPECT_TRUE(pumpUntil([&] { return stream->peak() < 0.01f; }));
  stack->pactl({"set-source-mute", source, "0"});
  EXPECT_TRUE(pumpUntil([&] { return stream->peak() > 0.3f; }));

  stream.reset();
  EXPECT_TRUE(pumpUntil([&] { return meterStreams() == 0; }));

  // Closed while the server is still creating it (the screen left at once): it goes as soon as
  // it exists, never recording on for good.
  for (int i = 0; i < 10; ++i)
    levels.open(mic).reset();
  EXPECT_TRUE(pumpUntil([&] { return meterStreams() == 0; })) << meterStreams() << " left";

  // A source that goes away fails its stream.
  stream = levels.open(mic);
  ASSERT_TRUE(pumpUntil([&] { return stream->state() == InputLevelStream::State::running; }));
  stack->unloadModule(*module);
  module.reset();
  EXPECT_TRUE(pumpUntil([&] { return stream->state() == InputLevelStream::State::failed; }));
  EXPECT_EQ(stream->peak(), 0.0f);
}

}  // namespace
}  // namespace tavuno
