// The PipeWire session against a private PipeWire server (one per test binary).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <thread>

#include "platform/linux/PipeWireSession.h"
#include "platform/linux/ProcessStart.h"
#include "tests/linux/session/SessionAudioStack.h"
#include "tests/rt/RealtimeProbe.h"

namespace tavuno {
namespace {

using test::eventually;
using test::SessionAudioStack;

constexpr double kToneRms = 0.3536;

// The control plane as the session sees it, filled by the test: Hal ids for two outputs and
// for the processes it starts.
class TestPlane : public SessionControlPlane {
 public:
  std::optional<Output> output(AudioObjectID device) const override {
    if (device == 1) return Output{"builtin_speakers", 48000, 2};
    if (device == 2) return Output{"usb_dac", 48000, 2};
    return std::nullopt;
  }
  std::optional<Process> process(AudioObjectID object) const override {
    auto it = pids.find(object);
    if (it == pids.end()) return std::nullopt;
    auto start = processStartTime(it->second);
    if (!start) return std::nullopt;
    return Process{it->second, *start};
  }
  bool serverIsPipeWire() const override { return true; }
  std::map<AudioObjectID, pid_t> pids;
};

AudioDevice device(AudioObjectID id) {
  AudioDevice d;
  d.id = id;
  d.uid = id == 1 ? "builtin_speakers" : "usb_dac";
  d.output = true;
  return d;
}

class PipeWireSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionAudioStack& s = SessionAudioStack::get();
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
  pid_t play(const std::string& app, AudioObjectID object, const std::string& sink = "") {
    pid_t pid = stack->play(app, sink);
    players.push_back(pid);
    plane.pids[object] = pid;
    return pid;
  }
  std::unique_ptr<PipeWireSession> session() {
    return std::make_unique<PipeWireSession>(PipeWireSessionPorts{plane, graphs, *journal});
  }

  SessionAudioStack* stack = nullptr;
  TestPlane plane;
  PipeWireGraphSource graphs;
  std::unique_ptr<SteerJournal> journal;
  std::vector<pid_t> players;
};

// Gain and mute heard on the chosen output only, other apps untouched, and stop puts each app
// back where it was, an app pinned to a non-default sink included.
TEST_F(PipeWireSessionTest, GainHeardOnItsOutputAndEveryAppRestored) {
  pid_t a = play("GainA", 100);
  pid_t b = play("GainB", 101);
  ASSERT_EQ(stack->sinkOf(a), "builtin_speakers");

  auto sa = session();
  sa->setGain(0.5f, false);
  ASSERT_EQ(sa->start({100}, device(2)), std::nullopt);
  EXPECT_EQ(stack->sinkOf(a), sa->tapName());
  EXPECT_EQ(journal->load().size(), 1u);
  // usb_dac carries A at half amplitude; the default carries B alone, untouched.
  EXPECT_NEAR(stack->level("usb_dac").rms, kToneRms * 0.5, 0.01);
  EXPECT_NEAR(stack->level("builtin_speakers").rms, kToneRms, 0.01);
  sa->setGain(0.5f, true);
  EXPECT_LT(stack->level("usb_dac").rms, 0.001);
  EXPECT_NEAR(stack->level("builtin_speakers").rms, kToneRms, 0.01);
  sa->stop();
  sa->stop();  // a second stop does nothing
  EXPECT_FALSE(sa->cleanupFailed());
  EXPECT_EQ(stack->sinkOf(a), "builtin_speakers");
  EXPECT_EQ(stack->sinkOf(b), "builtin_speakers");

  pid_t pinned = play("GainPinned", 102, "usb_dac");
  auto sp = session();
  ASSERT_EQ(sp->start({102}, device(1)), std::nullopt);
  EXPECT_EQ(stack->sinkOf(pinned), sp->tapName());
  sp->stop();
  EXPECT_EQ(stack->sinkOf(pinned), "usb_dac");
  EXPECT_TRUE(journal->load().empty());
}

}  // namespace
}  // namespace tavuno
