// The PulseAudio fallback session against a private PulseAudio server (one per test binary).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/PulseSession.h"
#include "platform/linux/PulseSweep.h"
#include "tests/linux/session/SessionAudioStack.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

using test::eventually;
using test::SessionAudioStack;

constexpr double kToneRms = 0.3536;

AudioDevice device(AudioObjectID id) {
  AudioDevice d;
  d.id = id;
  d.output = true;
  return d;
}

// Helper mode: run with TAVUNO_PULSE_HELPER="<pid>:<output id>,..." it starts one session per
// pair, writes TAVUNO_PULSE_HELPER_READY and waits to be killed.
const bool helperMode = [] {
  const char* spec = std::getenv("TAVUNO_PULSE_HELPER");
  if (!spec) return false;
  static test::SessionTestPlane plane;
  static SteerJournal journal(SteerJournal::defaultDir());
  static std::vector<std::unique_ptr<PulseSession>> sessions;
  std::stringstream list(spec);
  std::string item;
  AudioObjectID object = 100;
  while (std::getline(list, item, ',')) {
    const auto colon = item.find(':');
    plane.pids[object] = std::stoi(item.substr(0, colon));
    auto session = std::make_unique<PulseSession>(PulseSessionPorts{plane, journal});
    if (session->start({object}, device(std::stoul(item.substr(colon + 1))))) std::_Exit(3);
    sessions.push_back(std::move(session));
    ++object;
  }
  std::ofstream(std::getenv("TAVUNO_PULSE_HELPER_READY")) << "ready";
  for (;;)
    ::pause();
}();

class PulseSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionAudioStack& s = SessionAudioStack::get(SessionAudioStack::Server::pulseaudio);
    if (!s.problem().empty()) {
      if (std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER")) FAIL() << s.problem();
      GTEST_SKIP() << s.problem();
    }
    stack = &s;
    journal = std::make_unique<SteerJournal>(
        s.root() + "/journal-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    for (pid_t pid : players)
      stack->stop(pid);
  }
  pid_t play(const std::string& app, AudioObjectID object, const std::string& sink = "",
             bool higher = false) {
    pid_t pid = stack->play(app, sink, higher);
    players.push_back(pid);
    plane.pids[object] = pid;
    return pid;
  }

  SessionAudioStack* stack = nullptr;
  test::SessionTestPlane plane;
  std::unique_ptr<SteerJournal> journal;
  std::vector<pid_t> players;
};

// Gain and mute heard on the chosen output only, other apps untouched; stop puts each app back,
// one pinned to a non-default sink included.
TEST_F(PulseSessionTest, GainHeardOnItsOutputAndEveryAppRestored) {
  pid_t a = play("PulseA", 100);
  pid_t b = play("PulseB", 101);
  PulseSession session(PulseSessionPorts{plane, *journal});
  session.setGain(0.5f, false);
  ASSERT_EQ(session.start({100}, device(2)), std::nullopt);
  EXPECT_EQ(stack->sinkOf(a), session.tapName());
  EXPECT_NEAR(stack->settledRms("usb_dac", kToneRms * 0.5), kToneRms * 0.5, 0.01);
  EXPECT_NEAR(stack->level("builtin_speakers").rms, kToneRms, 0.01);
  session.setGain(0.5f, true);
  EXPECT_LT(stack->level("usb_dac").rms, 0.001);
  session.stop();
  EXPECT_FALSE(session.cleanupFailed());
  EXPECT_EQ(stack->sinkOf(a), "builtin_speakers");
  EXPECT_EQ(stack->sinkOf(b), "builtin_speakers");

  pid_t pinned = play("PulsePinned", 102, "usb_dac");
  PulseSession moved(PulseSessionPorts{plane, *journal});
  ASSERT_EQ(moved.start({102}, device(1)), std::nullopt);
  EXPECT_EQ(stack->sinkOf(pinned), moved.tapName());
  moved.stop();
  EXPECT_EQ(stack->sinkOf(pinned), "usb_dac");
  EXPECT_TRUE(journal->load().empty());
  auto sinks = stack->run({"pactl", "list", "short", "sinks"});
  ASSERT_TRUE(sinks);
  EXPECT_EQ(sinks->find("tavuno.tap"), std::string::npos) << "the null sinks are unloaded";
}

// A killed Tavuno leaves its null sinks behind (the apps are silent there); the next one's
// sweep unloads them, and the pinned app goes back to its sink.
TEST_F(PulseSessionTest, SweepAfterAKillUnloadsTheTapsAndRepins) {
  pid_t free = play("PulseFree", 100);
  pid_t pinned = play("PulseKeep", 101, "usb_dac", true);
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = 0;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::string ready = stack->root() + "/pulse-ready";
    std::remove(ready.c_str());
    pid_t helper = stack->spawn({self}, {{"TAVUNO_PULSE_HELPER", std::to_string(free) + ":1," +
                                                                     std::to_string(pinned) + ":1"},
                                         {"TAVUNO_PULSE_HELPER_READY", ready}});
    ASSERT_TRUE(eventually([&] { return std::ifstream(ready).good(); }, 30));
    stack->stop(helper, SIGKILL);
    EXPECT_EQ(stack->sinkOf(free).rfind("tavuno.tap.", 0), 0u) << "left in the orphaned tap";

    std::string error;
    auto connection = PulseConnection::connect(error);
    ASSERT_TRUE(connection) << error;
    SteerJournal journal(SteerJournal::defaultDir());
    EXPECT_EQ(sweepPulseTaps(*connection, journal), 1);
    EXPECT_TRUE(journal.load().empty());
    EXPECT_TRUE(eventually([&] { return stack->sinkOf(pinned) == "usb_dac"; }, 10));
    EXPECT_EQ(stack->sinkOf(free), "builtin_speakers");
    auto sinks = stack->run({"pactl", "list", "short", "sinks"});
    ASSERT_TRUE(sinks);
    EXPECT_EQ(sinks->find("tavuno.tap"), std::string::npos);
  }
}

// An app controlled at 0.15 and started again starts at 0.15: the stream-restore entry holds
// it. Muted, it starts silent, and a session that unmutes it is heard.
TEST_F(PulseSessionTest, SeededVolumeAndMuteHoldFromTheFirstBuffer) {
  pid_t first = play("PulseSeeded", 100);
  {
    PulseSession session(PulseSessionPorts{plane, *journal});
    session.setGain(0.2f, false);
    ASSERT_EQ(session.start({100}, device(2)), std::nullopt);
    EXPECT_NEAR(stack->settledRms("usb_dac", kToneRms * 0.2), kToneRms * 0.2, 0.01);
    // Stopped at once: stop() seeds a change the follower had no turn for yet.
    session.setGain(0.15f, false);
    session.stop();
  }
  stack->stop(first);
  std::erase(players, first);
  for (int i = 0; i < 2; ++i)
    players.push_back(stack->spawn({"sh", "-c", "while :; do :; done"}));
  auto startPeak = [&](AudioObjectID object) {
    double peak = -1;
    std::atomic<bool> recording{false};
    std::thread meter([&] { peak = stack->level("builtin_speakers", 1.5, &recording).peak; });
    EXPECT_TRUE(eventually([&] { return recording.load(); }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // past the skipped 0.1 s
    play("PulseSeeded", object);
    meter.join();
    return peak;
  };
  auto stopPlayer = [&](AudioObjectID object) {
    stack->stop(plane.pids[object]);
    std::erase(players, plane.pids[object]);
  };
  for (int round = 0; round < 3; ++round) {
    const double peak = startPeak(101);
    EXPECT_GT(peak, 0.05);
    EXPECT_LE(peak, 0.075 + 0.02);
    if (round < 2) stopPlayer(101);
  }

  {
    PulseSession session(PulseSessionPorts{plane, *journal});
    session.setGain(0.15f, false);
    ASSERT_EQ(session.start({101}, device(2)), std::nullopt);
    session.setGain(0.15f, true);
    session.stop();
  }
  stopPlayer(101);
  EXPECT_LT(startPeak(102), 0.001);
  PulseSession unmuted(PulseSessionPorts{plane, *journal});
  unmuted.setGain(0.5f, false);
  ASSERT_EQ(unmuted.start({102}, device(2)), std::nullopt);
  EXPECT_TRUE(eventually(
      [&] { return std::fabs(stack->level("usb_dac").rms - kToneRms * 0.5) < 0.01; }, 10));
  unmuted.stop();
}

}  // namespace
}  // namespace tavuno
