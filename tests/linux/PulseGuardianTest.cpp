#include <gtest/gtest.h>

#include "platform/linux/PulseGuardianPlan.h"

namespace tavuno {
namespace {

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

}  // namespace
}  // namespace tavuno
