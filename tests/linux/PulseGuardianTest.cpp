#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/ProcFs.h"
#include "platform/linux/PulseGuardian.h"
#include "platform/linux/PulseGuardianPlan.h"
#include "support/Deadline.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;
using test::waitUntil;

// What a Tavuno says arrives in any chunks; only whole, well-formed lines count, and a line
// too long to be Tavuno's is dropped without taking the next one with it.
TEST(GuardianLog, KeepsTheTapsStillLoaded) {
  GuardianLog log;
  log.feed(GuardianLog::tapLine(12, "tavuno.tap.40.1"));
  log.feed("tap 13 tavuno.ta");
  EXPECT_EQ(log.taps().size(), 1u) << "half a line is not a tap yet";
  log.feed("p.40.2\ntap 14 tavuno.tap.40.3\nuntap 12\n");
  EXPECT_EQ(log.taps(), (std::map<std::uint32_t, std::string>{{13, "tavuno.tap.40.2"},
                                                              {14, "tavuno.tap.40.3"}}));

  for (const char* bad :
       {"tap x tavuno.tap.1\n", "tap -1 tavuno.tap.1\n", "tap 15\n", "tap 15 \n", "tap 15 a b\n",
        "tap 4294967295 t\n", "untap 13x\n", "untap\n", "unload 14\n", "\n"})
    log.feed(bad);
  EXPECT_EQ(log.taps().size(), 2u);

  log.feed("tap 16 " + std::string(GuardianLog::longestLine, 'x'));
  log.feed(std::string(3000, 'y') + "\nuntap 13\n");
  EXPECT_EQ(log.taps(), (std::map<std::uint32_t, std::string>{{14, "tavuno.tap.40.3"}}));
}

constexpr GuardianOwner kOwner{40, 900};

SteerRecord record(std::uint32_t input, const std::string& tap, const std::string& sink) {
  SteerRecord r;
  r.node = r.serial = input;
  r.appPid = 7;
  r.sink = sink;
  r.sinkWasDefault = sink == "speakers";
  r.tap = tap;
  r.ownerPid = kOwner.pid;
  r.ownerStart = kOwner.start;
  return r;
}

PulseServerView server() {
  PulseServerView v;
  v.modules = {{3, "module-null-sink"}, {20, "module-null-sink"}, {21, "module-null-sink"}};
  v.sinks = {{0, "speakers", 3, 0, 0},
             {1, "usb_dac", 3, 0, 0},
             {5, "tavuno.tap.40.1", 20, kOwner.pid, kOwner.start},
             {6, "tavuno.tap.40.2", 21, kOwner.pid, kOwner.start}};
  v.defaultSink = "speakers";
  return v;
}

// The killed owner's taps go, and the streams in them go back where they came from: a pinned
// one to its sink, one on the default to it, one whose sink has gone to the default.
TEST(GuardianPlan, PutsBackWhatIsInTheOwnersTaps) {
  PulseServerView v = server();
  v.inputs = {{100, 5}, {101, 5}, {102, 6}};
  const auto onDefault = record(100, "tavuno.tap.40.1", "speakers");
  const auto pinned = record(101, "tavuno.tap.40.1", "usb_dac");
  const auto sinkGone = record(102, "tavuno.tap.40.2", "hdmi");
  const GuardianPlan plan = planGuardianCleanup(
      kOwner, {{20, "tavuno.tap.40.1"}, {21, "tavuno.tap.40.2"}}, {onDefault, pinned, sinkGone}, v);
  EXPECT_EQ(plan.moves, (std::vector<GuardianPlan::Move>{{100, "speakers", onDefault},
                                                         {101, "usb_dac", pinned},
                                                         {102, "speakers", sinkGone}}));
  EXPECT_EQ(plan.unload, (std::vector<std::uint32_t>{20, 21}));
  EXPECT_TRUE(plan.forget.empty());
}

// Nothing that is not provably the owner's is touched: a module index that now loads something
// else (a restarted server), a tap of another Tavuno or of an earlier process with the same
// pid, a record of either, a record naming a tap never logged. The owner's records with nothing
// to undo (the stream gone, or moved on by someone else) are only forgotten.
TEST(GuardianPlan, TouchesOnlyWhatIsProvablyTheOwners) {
  PulseServerView v = server();
  v.modules.push_back({22, "module-loopback"});
  v.modules.push_back({23, "module-null-sink"});
  v.modules.push_back({24, "module-null-sink"});
  v.sinks.push_back({7, "tavuno.tap.40.9", 23, kOwner.pid, kOwner.start + 1});  // pid reused
  v.sinks.push_back({8, "tavuno.tap.41.1", 24, 41, kOwner.start});              // a rival's
  v.sinks.push_back({9, "tavuno.tap.40.4", 20, kOwner.pid, kOwner.start});      // not module 25
  v.inputs = {{100, 7}, {101, 8}, {102, 1}, {104, 5}, {105, 9}};
  const std::map<std::uint32_t, std::string> taps = {{20, "tavuno.tap.40.1"},
                                                     {22, "tavuno.tap.40.5"},
                                                     {23, "tavuno.tap.40.9"},
                                                     {24, "tavuno.tap.41.1"},
                                                     {25, "tavuno.tap.40.4"}};
  auto earlier = record(104, "tavuno.tap.40.1", "usb_dac");
  earlier.ownerStart = kOwner.start - 1;
  auto rival = record(104, "tavuno.tap.40.1", "usb_dac");
  rival.ownerPid = 41;
  const auto inReusedTap = record(100, "tavuno.tap.40.9", "usb_dac");
  const auto unlogged = record(104, "tavuno.tap.40.7", "usb_dac");
  const auto movedOn = record(102, "tavuno.tap.40.1", "speakers");
  const auto gone = record(103, "tavuno.tap.40.1", "usb_dac");
  const auto wrongTap = record(104, "tavuno.tap.40.5", "usb_dac");  // into 40.1, not 40.5
  const GuardianPlan plan = planGuardianCleanup(
      kOwner, taps, {earlier, rival, inReusedTap, unlogged, movedOn, gone, wrongTap}, v);
  EXPECT_TRUE(plan.moves.empty());
  EXPECT_EQ(plan.unload, std::vector<std::uint32_t>{20});
  EXPECT_EQ(plan.forget, (std::vector<SteerRecord>{inReusedTap, movedOn, gone, wrongTap}));
}

// A stream with nowhere to go (its sink and the default both gone, or the default one of the
// owner's taps) is left to the unload, which hands it to the server's fallback.
TEST(GuardianPlan, LeavesAStreamWithNowhereToGoToTheUnload) {
  PulseServerView v = server();
  v.inputs = {{100, 5}};
  const auto r = record(100, "tavuno.tap.40.1", "hdmi");
  for (const char* fallback : {"", "tavuno.tap.40.2"}) {
    v.defaultSink = fallback;
    const GuardianPlan plan =
        planGuardianCleanup(kOwner, {{20, "tavuno.tap.40.1"}, {21, "tavuno.tap.40.2"}}, {r}, v);
    EXPECT_TRUE(plan.moves.empty()) << fallback;
    EXPECT_EQ(plan.unload, (std::vector<std::uint32_t>{20, 21}));
    EXPECT_EQ(plan.forget, std::vector<SteerRecord>{r});
  }
}

// With no tap left to undo, the guardian ends at end of input without a server.
TEST(PulseGuardianRun, EndsAtOnceWithNothingLeft) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  const std::string said = GuardianLog::tapLine(5, "tavuno.tap.1.1") + GuardianLog::untapLine(5);
  ASSERT_EQ(::write(ends[0], said.data(), said.size()), static_cast<ssize_t>(said.size()));
  ::close(ends[0]);
  test::TempDir dir;
  EXPECT_EQ(runPulseGuardian(ends[1], kOwner, dir.path().string()), 0);
  ::close(ends[1]);
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The Tavuno side, with a stand-in program that records its arguments and its input: started
// at the first tap in a session of its own, told of each tap, started again when it died and
// told of the taps still loaded, and ended (and reaped) when Tavuno closes its end.
TEST(PulseGuardian, TellsARunningGuardianEveryTap) {
  test::TempDir dir;
  const fs::path program = dir.path() / "guardian";
  std::ofstream(program) << "#!/bin/sh\n"
                            "out=$(dirname \"$0\")/run-$$\n"
                            "echo \"$* $(awk '{print $6}' /proc/$$/stat)\" > \"$out.args\"\n"
                            "cat > \"$out.input\"\n"
                            "echo eof > \"$out.done\"\n";
  fs::permissions(program, fs::perms::owner_all);
  const std::string journal = (dir.path() / "journal").string();
  pid_t first = 0, second = 0;
  {
    PulseGuardian guardian(program.string(), journal);
    ASSERT_TRUE(guardian.tapLoaded(20, "tavuno.tap.1.1"));
    first = guardian.pid();
    ASSERT_GT(first, 0);
    const fs::path run = dir.path() / ("run-" + std::to_string(first));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(run.string() + ".args"); }, 10));
    const std::string self = std::to_string(::getpid());
    EXPECT_EQ(slurp(run.string() + ".args"),
              "--owner " + self + " " + std::to_string(processStartTime(::getpid()).value_or(0)) +
                  " --journal " + journal + " " + std::to_string(first) + "\n")
        << "its own session";
    EXPECT_TRUE(guardian.tapLoaded(21, "tavuno.tap.1.2"));
    guardian.tapUnloaded(20);
    EXPECT_EQ(guardian.pid(), first);

    ::kill(first, SIGKILL);
    EXPECT_TRUE(waitUntil(
        [&] {
          std::ifstream stat("/proc/" + std::to_string(first) + "/stat");
          std::string pid, name, state;
          stat >> pid >> name >> state;
          return state == "Z";
        },
        10));
    EXPECT_TRUE(guardian.tapLoaded(22, "tavuno.tap.1.3"));
    second = guardian.pid();
    EXPECT_NE(second, first);
  }
  const fs::path run = dir.path() / ("run-" + std::to_string(second));
  // Closed: the input ended; reaped: no process is left under that pid.
  EXPECT_TRUE(waitUntil([&] { return fs::exists(run.string() + ".done"); }, 10));
  EXPECT_EQ(slurp(run.string() + ".input"), GuardianLog::tapLine(21, "tavuno.tap.1.2") +
                                                GuardianLog::tapLine(22, "tavuno.tap.1.3"));
  EXPECT_TRUE(waitUntil([&] { return !fs::exists("/proc/" + std::to_string(second)); }, 10));
  EXPECT_FALSE(fs::exists("/proc/" + std::to_string(first)));
}

TEST(PulseGuardian, WithoutAProgramNothingIsGuarded) {
  test::TempDir dir;
  PulseGuardian none("", dir.path().string());
  EXPECT_FALSE(none.start());
  EXPECT_FALSE(none.tapLoaded(1, "tavuno.tap.1.1"));
  none.tapUnloaded(1);
  PulseGuardian missing((dir.path() / "absent").string(), dir.path().string());
  EXPECT_FALSE(missing.start());
  EXPECT_EQ(missing.pid(), 0);
}

}  // namespace
}  // namespace tavuno
