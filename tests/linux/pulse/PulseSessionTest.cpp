// The PulseAudio fallback session against a private PulseAudio server (one per test binary).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include <pulse/pulseaudio.h>

#include "linux/stack/AudioStack.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/PulseGuardian.h"
#include "platform/linux/PulseSession.h"
#include "platform/linux/PulseSweep.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

using test::AudioStack;
using test::longestSilence;
using test::silenceReport;
using test::waitUntil;

constexpr double kToneRms = 0.3536;

AudioDevice device(AudioObjectID id) {
  AudioDevice d;
  d.id = id;
  d.output = true;
  return d;
}

// Helper mode: run with TAVUNO_PULSE_HELPER="<pid>:<output id>,..." it starts one session per
// pair, writes TAVUNO_PULSE_HELPER_READY and waits to be killed. With TAVUNO_PULSE_HELPER_GUARDED
// its sessions have a guardian, whose pid is what the ready file says.
const bool helperMode = [] {
  const char* spec = std::getenv("TAVUNO_PULSE_HELPER");
  if (!spec) return false;
  static test::SessionTestPlane plane;
  static SteerJournal journal(SteerJournal::defaultDir());
  static PulseGuardian guardian(
      std::getenv("TAVUNO_PULSE_HELPER_GUARDED") ? TAVUNO_GUARDIAN_BINARY : "",
      SteerJournal::defaultDir());
  static std::vector<std::unique_ptr<PulseSession>> sessions;
  std::stringstream list(spec);
  std::string item;
  AudioObjectID object = 100;
  while (std::getline(list, item, ',')) {
    const auto colon = item.find(':');
    plane.pids[object] = std::stoi(item.substr(0, colon));
    auto session = std::make_unique<PulseSession>(PulseSessionPorts{plane, journal, &guardian});
    if (session->start({object}, device(std::stoul(item.substr(colon + 1))))) std::_Exit(3);
    sessions.push_back(std::move(session));
    ++object;
  }
  std::ofstream(std::getenv("TAVUNO_PULSE_HELPER_READY")) << guardian.pid();
  for (;;)
    ::pause();
}();

class PulseSessionTest : public ::testing::Test {
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
    journal = std::make_unique<SteerJournal>(
        s.root() + "/journal-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    for (pid_t pid : players)
      stack->stop(pid);
  }
  pid_t play(const std::string& app, AudioObjectID object, const std::string& sink = "",
             bool higher = false) {
    pid_t pid = stack->playLoop(app, sink, higher);
    players.push_back(pid);
    plane.pids[object] = pid;
    return pid;
  }

  AudioStack* stack = nullptr;
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
    ASSERT_TRUE(waitUntil([&] { return std::ifstream(ready).good(); }, 30));
    stack->stop(helper, SIGKILL);
    EXPECT_EQ(stack->sinkOf(free).rfind("tavuno.tap.", 0), 0u) << "left in the orphaned tap";

    std::string error;
    auto connection = PulseConnection::connect(error);
    ASSERT_TRUE(connection) << error;
    SteerJournal journal(SteerJournal::defaultDir());
    EXPECT_EQ(sweepPulseTaps(*connection, journal), 1);
    EXPECT_TRUE(journal.load().empty());
    EXPECT_TRUE(waitUntil([&] { return stack->sinkOf(pinned) == "usb_dac"; }, 10));
    EXPECT_EQ(stack->sinkOf(free), "builtin_speakers");
    auto sinks = stack->run({"pactl", "list", "short", "sinks"});
    ASSERT_TRUE(sinks);
    EXPECT_EQ(sinks->find("tavuno.tap"), std::string::npos);
  }
}

// The start-up sweep touches only what it proves a gone Tavuno's. A null sink whose arguments
// merely hold the owner's text is left loaded, while one loaded as a gone Tavuno's tap is
// unloaded. A record moves its stream only when it is of this server run (the server's cookie)
// and the stream's process is the record's, pid and start time: PulseAudio counts its indexes
// from 0 again after a restart, and the old numbers name other applications then.
TEST_F(PulseSessionTest, SweepActsOnlyOnProvenTapsAndRecords) {
  pid_t app = play("PulseProven", 100);
  std::string error;
  auto connection = PulseConnection::connect(error);
  ASSERT_TRUE(connection) << error;
  const std::uint32_t cookie = connection->serverCookie();
  ASSERT_NE(cookie, 0u);
  struct Found {
    pid_t pid;
    std::optional<std::uint32_t> index;
  } found{app, std::nullopt};
  connection->run([&] {
    return pa_context_get_sink_input_info_list(
        connection->context(),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
          auto* f = static_cast<Found*>(data);
          const char* pid =
              eol || !info ? nullptr : pa_proplist_gets(info->proplist, "application.process.id");
          if (pid && std::to_string(f->pid) == pid) f->index = info->index;
        },
        &found);
  });
  ASSERT_TRUE(found.index);

  const auto self = static_cast<std::int32_t>(::getpid());
  const std::uint64_t selfStart = processStartTime(self).value_or(0);
  // A gone Tavuno: this pid with another start time.
  const std::string goneTap = "tavuno.tap." + std::to_string(self) + ".900";
  auto load = [&](const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"pactl", "load-module", "module-null-sink"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto index = stack->run(argv);
    EXPECT_TRUE(index) << arguments.front();
    return index ? std::stoul(*index) : 0ul;
  };
  const unsigned long decoy =
      load({"sink_name=decoy", "sink_properties=device.description=tavuno.owner.pid=999999"});
  load({"sink_name=" + goneTap, "sink_properties=\"tavuno.owner.pid=" + std::to_string(self) +
                                    " tavuno.owner.start=" + std::to_string(selfStart + 1) + "\""});

  SteerRecord proven;
  proven.node = proven.serial = *found.index;
  proven.appPid = app;
  proven.appStart = processStartTime(app).value_or(0);
  proven.sink = "usb_dac";
  proven.tap = goneTap;
  proven.ownerPid = self;
  proven.ownerStart = selfStart + 1;
  proven.server = cookie;
  SteerRecord otherApp = proven;  // the index now names a stream of another process
  otherApp.appPid = self;
  otherApp.appStart = selfStart;
  SteerRecord earlierRun = proven;
  earlierRun.server = cookie + 1;
  SteerRecord olderTavuno = proven;
  olderTavuno.server = 0;
  for (const SteerRecord& r : {otherApp, earlierRun, olderTavuno})
    ASSERT_TRUE(journal->add(r));
  EXPECT_EQ(sweepPulseTaps(*connection, *journal), 0);
  EXPECT_TRUE(journal->load().empty());
  EXPECT_EQ(stack->sinkOf(app), "builtin_speakers");
  auto sinks = stack->run({"pactl", "list", "short", "sinks"});
  ASSERT_TRUE(sinks);
  EXPECT_NE(sinks->find("\tdecoy\t"), std::string::npos) << "a sink that is no tap stays";
  EXPECT_EQ(sinks->find(goneTap), std::string::npos) << "a gone Tavuno's tap goes";

  ASSERT_TRUE(journal->add(proven));
  EXPECT_EQ(sweepPulseTaps(*connection, *journal), 1);
  EXPECT_TRUE(journal->load().empty());
  EXPECT_TRUE(waitUntil([&] { return stack->sinkOf(app) == "usb_dac"; }, 10));
  stack->run({"pactl", "unload-module", std::to_string(decoy)});
}

// Whether `pid` is no process any more (a zombie no one reaped counts: it holds nothing).
bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string number, name, state;
  return !(stat >> number >> name >> state) || state == "Z";
}

// A Tavuno killed with two tapped apps, each heard through its tap on its own output: its
// guardian moves both streams back and unloads the null sinks, so each app is heard on its
// output again well within a second (the silence is read off both outputs' monitors), with no
// record, null sink or guardian left over. Repeated, since a kill can land anywhere.
TEST_F(PulseSessionTest, AKilledTavunosGuardianGivesTheAppsBackAtOnce) {
  pid_t free = play("GuardFree", 100);
  pid_t pinned = play("GuardPinned", 101, "usb_dac", true);
  const char* wanted = std::getenv("TAVUNO_KILL_ROUNDS");
  const int rounds = wanted ? std::atoi(wanted) : 20;
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = 0;
  std::vector<double> gaps;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    const std::string ready = stack->root() + "/guarded-ready";
    std::remove(ready.c_str());
    pid_t helper = stack->spawn({self}, {{"TAVUNO_PULSE_HELPER", std::to_string(free) + ":1," +
                                                                     std::to_string(pinned) + ":2"},
                                         {"TAVUNO_PULSE_HELPER_GUARDED", "1"},
                                         {"TAVUNO_PULSE_HELPER_READY", ready}});
    pid_t guardian = 0;
    ASSERT_TRUE(waitUntil([&] { return bool(std::ifstream(ready) >> guardian); }, 30));
    ASSERT_GT(guardian, 0) << "the guardian did not start";
    ASSERT_EQ(stack->sinkOf(free).rfind("tavuno.tap.", 0), 0u);
    ASSERT_EQ(stack->sinkOf(pinned).rfind("tavuno.tap.", 0), 0u);

    std::vector<float> speakers, dac;
    std::atomic<std::size_t> speakersOn{0}, dacOn{0};
    std::thread a([&] { speakers = stack->record("builtin_speakers", 1.8, &speakersOn); });
    std::thread b([&] { dac = stack->record("usb_dac", 1.8, &dacOn); });
    EXPECT_TRUE(waitUntil([&] { return speakersOn > 0 && dacOn > 0; }, 10));
    const auto on = std::chrono::steady_clock::now();
    // The kill lands 0.3 s into the recordings, past the recorders' own start.
    EXPECT_TRUE(waitUntil([&] { return speakersOn >= 14400 && dacOn >= 14400; }, 10));
    const auto killedAfter = std::chrono::steady_clock::now() - on;
    stack->stop(helper, SIGKILL);
    a.join();
    b.join();
    // The first 0.2 s hold the recorders' own start.
    const double gap = std::max(longestSilence(speakers, 2 * 9600), longestSilence(dac, 2 * 9600));
    gaps.push_back(gap);
    EXPECT_LT(gap, 1.0)
        << "an app silent after its Tavuno was killed, "
        << std::chrono::duration_cast<std::chrono::milliseconds>(killedAfter).count()
        << " ms after both recorders ran; speakers: " << silenceReport(speakers, 2 * 9600)
        << "; usb_dac: " << silenceReport(dac, 2 * 9600);

    EXPECT_EQ(stack->sinkOf(free), "builtin_speakers");
    EXPECT_EQ(stack->sinkOf(pinned), "usb_dac");
    EXPECT_TRUE(waitUntil(
        [&] {
          auto sinks = stack->run({"pactl", "list", "short", "sinks"});
          return sinks && sinks->find("tavuno.tap") == std::string::npos;
        },
        10))
        << "the null sinks are unloaded";
    SteerJournal left(SteerJournal::defaultDir());
    EXPECT_TRUE(waitUntil([&] { return left.load().empty(); }, 10));
    EXPECT_TRUE(waitUntil([&] { return ended(guardian); }, 10)) << "the guardian ends with its job";
  }
  std::sort(gaps.begin(), gaps.end());
  if (!gaps.empty())
    std::printf("apps silent after SIGKILL, %d rounds: median %.1f ms, longest %.1f ms\n", rounds,
                gaps[gaps.size() / 2] * 1000, gaps.back() * 1000);
}

// The running guardian of the Tavuno process `owner`, other than `besides`; 0 when none.
pid_t guardianOf(pid_t owner, pid_t besides) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline");
    std::vector<std::string> argv;
    for (std::string arg; std::getline(in, arg, '\0');)
      argv.push_back(arg);
    const pid_t pid = std::stoi(name);
    if (argv.size() > 2 && argv[0].ends_with("/tavuno-guardian") &&
        argv[2] == std::to_string(owner) && pid != besides && !ended(pid))
      return pid;
  }
  return 0;
}

// A guardian that dies while its Tavuno runs is replaced, told of the taps still loaded, and
// does its job when Tavuno is killed after all.
TEST_F(PulseSessionTest, AGuardianThatDiedIsReplacedWhileTavunoRuns) {
  pid_t app = play("GuardAgain", 100, "usb_dac");
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = 0;
  const std::string ready = stack->root() + "/again-ready";
  pid_t helper = stack->spawn({self}, {{"TAVUNO_PULSE_HELPER", std::to_string(app) + ":1"},
                                       {"TAVUNO_PULSE_HELPER_GUARDED", "1"},
                                       {"TAVUNO_PULSE_HELPER_READY", ready}});
  pid_t first = 0;
  ASSERT_TRUE(waitUntil([&] { return bool(std::ifstream(ready) >> first); }, 30));
  ASSERT_GT(first, 0);
  ::kill(first, SIGKILL);
  pid_t second = 0;
  EXPECT_TRUE(waitUntil([&] { return (second = guardianOf(helper, first)) != 0; }, 5));
  EXPECT_EQ(stack->sinkOf(app).rfind("tavuno.tap.", 0), 0u);
  stack->stop(helper, SIGKILL);
  EXPECT_TRUE(waitUntil([&] { return stack->sinkOf(app) == "usb_dac"; }, 1.0));
  EXPECT_TRUE(waitUntil([&] { return second == 0 || ended(second); }, 10));
  auto sinks = stack->run({"pactl", "list", "short", "sinks"});
  ASSERT_TRUE(sinks);
  EXPECT_EQ(sinks->find("tavuno.tap"), std::string::npos);
}

// A session stopped as at a normal quit leaves its guardian nothing to do: it lives as long as
// Tavuno does (connected to the server beforehand, so that a death costs it no connection
// set-up), and ends as soon as Tavuno lets go.
TEST_F(PulseSessionTest, TheGuardianEndsWithNothingLeftAtANormalQuit) {
  pid_t a = play("GuardQuit", 100);
  auto keeper = std::make_unique<PulseGuardian>(
      TAVUNO_GUARDIAN_BINARY, stack->root() + "/journal-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  EXPECT_EQ(keeper->pid(), 0) << "started with the first session, not before";
  pid_t guardian = 0;
  {
    PulseSession session(PulseSessionPorts{plane, *journal, keeper.get()});
    ASSERT_EQ(session.start({100}, device(2)), std::nullopt);
    guardian = keeper->pid();
    ASSERT_GT(guardian, 0);
    EXPECT_TRUE(waitUntil(
        [&] {
          auto clients = stack->run({"pactl", "list", "clients"});
          return clients && clients->find("application.process.id = \"" + std::to_string(guardian) +
                                          "\"") != std::string::npos;
        },
        5))
        << "the guardian waits connected";
    session.stop();
    EXPECT_EQ(stack->sinkOf(a), "builtin_speakers");
  }
  EXPECT_FALSE(ended(guardian));
  const auto before = std::chrono::steady_clock::now();
  keeper.reset();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count(), 1.0);
  EXPECT_FALSE(std::ifstream("/proc/" + std::to_string(guardian) + "/stat").good()) << "reaped";
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
    std::atomic<std::size_t> recorded{0};
    std::thread meter([&] { peak = stack->level("builtin_speakers", 1.5, &recorded).peak; });
    // Past the first 0.1 s, which the level leaves out.
    EXPECT_TRUE(waitUntil([&] { return recorded.load() >= 4800; }, 10));
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
  EXPECT_TRUE(waitUntil(
      [&] { return std::fabs(stack->level("usb_dac").rms - kToneRms * 0.5) < 0.01; }, 10));
  unmuted.stop();
}

}  // namespace
}  // namespace tavuno
