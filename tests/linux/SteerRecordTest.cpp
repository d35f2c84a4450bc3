#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/linux/SteerJournal.h"
#include "platform/linux/SteerRecord.h"

namespace tavuno {
namespace {

SteerRecord record(std::uint32_t node, std::int32_t owner) {
  SteerRecord r;
  r.node = node;
  r.serial = 1000 + node;
  r.appPid = 4242;
  r.appStart = 77;
  r.sink = "builtin_speakers";
  r.sinkWasDefault = true;
  r.tap = "tavuno.tap.1.1";
  r.ownerPid = owner;
  r.ownerStart = 5;
  return r;
}

// Rows: what a killed Tavuno left behind, and what the next one does about it.
TEST(SteerRecord, SweepDecidesPerRecord) {
  SteerRecord saved = record(10, 1);  // had a target of its own: written back
  saved.savedTarget = "77";
  saved.targetKey = "target.node";
  SteerRecord pinned = record(11, 1);  // was on a non-default sink without a target: pinned
  pinned.sink = "usb_dac";
  pinned.sinkWasDefault = false;
  SteerRecord onDefault = record(12, 1);  // followed the default: the server already did it
  SteerRecord gone = record(13, 1);       // its stream is gone: nothing to do
  gone.sink = "usb_dac";
  gone.sinkWasDefault = false;
  SteerRecord reused = record(14, 1);  // the id now names another stream (new serial)
  reused.savedTarget = "usb_dac";
  SteerRecord alive = record(15, 2);  // its Tavuno still runs: kept untouched
  alive.savedTarget = "usb_dac";

  const std::set<std::pair<std::uint32_t, std::uint64_t>> streams = {
      {10, 1010}, {11, 1011}, {12, 1012}, {14, 9999}, {15, 1015}};
  SweepFacts facts{[](std::int32_t pid, std::uint64_t start) { return pid == 2 && start == 5; },
                   [&](std::uint32_t node, std::uint64_t serial) {
                     return streams.count({node, serial}) > 0;
                   }};
  SweepPlan plan = planSweep({saved, pinned, onDefault, gone, reused, alive}, facts);

  EXPECT_EQ(plan.actions, (std::vector<SweepAction>{{10, "target.node", "77"},
                                                    {11, "target.object", "usb_dac"}}));
  EXPECT_EQ(plan.keep, std::vector<SteerRecord>{alive});
}

TEST(SteerRecord, JournalRoundTripsAndSetsABadFileAside) {
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("tavuno-journal-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::remove_all(dir);
  SteerJournal journal(dir.string());
  SteerRecord a = record(1, 1);
  a.savedTarget = "usb_dac";
  ASSERT_TRUE(journal.add(a));
  ASSERT_TRUE(journal.add(record(2, 1)));
  EXPECT_EQ(journal.load(), (std::vector<SteerRecord>{a, record(2, 1)}));
  ASSERT_TRUE(journal.remove([](const SteerRecord& r) { return r.node == 1; }));
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{record(2, 1)});

  // A record with a mistyped field is skipped, the others survive.
  std::string good = encodeSteerRecords({a});
  good.insert(good.find('[') + 1, R"({"node": "x"}, )");
  std::ofstream(journal.path()) << good;
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{a});

  std::ofstream(journal.path()) << "{not json";
  ASSERT_TRUE(journal.add(record(3, 1)));
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{record(3, 1)});
  EXPECT_TRUE(std::filesystem::exists(journal.path() + ".corrupt"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavuno
