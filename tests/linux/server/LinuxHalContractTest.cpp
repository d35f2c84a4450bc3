#include "linux/server/LinuxServiceFixture.h"
#include "tests/hal/HalContract.h"

namespace tavuno::test {
namespace {

// The Linux Hal on the private server's desktop devices; each case leaves the server's
// defaults, volumes and mute as it found them.
struct LinuxHalRig {
  ThreadMainQueue main;
  std::unique_ptr<LinuxBackEnd> backEnd;

  void prepare() {
    TAVUNO_REQUIRE_AUDIO_SERVER();
    backEnd = std::make_unique<LinuxBackEnd>(
        main,
        LinuxBackEndOptions{
            .server = audioServer()->pulseServer(), .syncTimeout = 10, .silentServerTimeout = 10});
    ASSERT_TRUE(backEnd->synced()) << "the mirror did not sync within 10 s";
  }
  void finish() {
    if (!backEnd) return;
    settle();
    backEnd.reset();
    AudioStack& stack = *audioServer();
    for (const char* sink :
         {AudioStack::hdmi, AudioStack::speakers, AudioStack::usbDac, AudioStack::headset}) {
      stack.pactl({"set-sink-volume", sink, "100%"});
      stack.pactl({"set-sink-mute", sink, "0"});
    }
    stack.pactl({"set-default-sink", AudioStack::speakers});
    stack.pactl({"set-default-source", AudioStack::headsetMic});
  }
  Hal& hal() { return backEnd->hal(); }
  // Every write answered by the server, and the snapshot that carries it taken over.
  void settle() {
    const bool answered = waitUntil(
        [&] {
          main.postAfter(0.01, [this] { main.stop(); });
          main.run();
          return backEnd->hal().pendingWrites() == 0;
        },
        10);
    EXPECT_TRUE(answered) << "writes still unanswered after 10 s";
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, HalContract, LinuxHalRig);

}  // namespace
}  // namespace tavuno::test
