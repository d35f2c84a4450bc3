#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

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
  r.server = 31;
  return r;
}

// Pid 2 (a Tavuno) runs since 5 and pid 4242 (the app) since 77; the streams play as listed
// (node, serial → pid), on server run 31.
struct World {
  std::map<std::pair<std::uint32_t, std::uint64_t>, std::int32_t> streams;
  SweepFacts facts() const {
    return {31,
            [](std::int32_t pid, std::uint64_t start) {
              return (pid == 2 && start == 5) || (pid == 4242 && start == 77);
            },
            [this](std::uint32_t node, std::uint64_t serial) -> std::optional<std::int32_t> {
              auto it = streams.find({node, serial});
              if (it == streams.end()) return std::nullopt;
              return it->second;
            }};
  }
};

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

  World world;
  world.streams = {{{10, 1010}, 4242},
                   {{11, 1011}, 4242},
                   {{12, 1012}, 4242},
                   {{14, 9999}, 4242},
                   {{15, 1015}, 4242}};
  SweepPlan plan = planSweep({saved, pinned, onDefault, gone, reused, alive}, world.facts());

  EXPECT_EQ(plan.actions, (std::vector<SweepAction>{{10, "target.node", "77"},
                                                    {11, "target.object", "usb_dac"}}));
  EXPECT_EQ(plan.keep, std::vector<SteerRecord>{alive});
}

// Rows: records whose stream cannot be proven the one they steered are dropped without a move,
// however well their numbers match: after a restart the server hands ids, serials and indexes
// out again, and an unrelated application would be sent to the record's sink.
TEST(SteerRecord, SweepMovesNothingItCannotProve) {
  auto pinnedAt = [](std::uint32_t node) {
    SteerRecord r = record(node, 1);
    r.sink = "usb_dac";
    r.sinkWasDefault = false;
    return r;
  };
  SteerRecord proven = pinnedAt(20);
  SteerRecord otherApp = pinnedAt(21);      // the number now names another application's stream
  SteerRecord appRestarted = pinnedAt(22);  // the app's pid now names a later process
  appRestarted.appStart = 78;
  SteerRecord earlierRun = pinnedAt(23);  // written before the server restarted
  earlierRun.server = 30;
  SteerRecord olderTavuno = pinnedAt(24);  // written before records held the server run
  olderTavuno.server = 0;
  SteerRecord noAppStart = pinnedAt(25);  // the app's start time was not known
  noAppStart.appStart = 0;
  SteerRecord foreignKey = pinnedAt(26);  // a key Tavuno never writes
  foreignKey.savedTarget = "usb_dac";
  foreignKey.targetKey = "node.target";
  SteerRecord noProcess = pinnedAt(27);  // the stream names no process
  SteerRecord ownerless = pinnedAt(28);  // no Tavuno named: not as Tavuno writes them
  ownerless.ownerPid = 0;

  World world;
  for (std::uint32_t node = 20; node <= 28; ++node)
    world.streams[{node, 1000 + node}] = 4242;
  world.streams[{21, 1021}] = 5151;
  world.streams[{27, 1027}] = 0;
  SweepPlan plan = planSweep({proven, otherApp, appRestarted, earlierRun, olderTavuno, noAppStart,
                              foreignKey, noProcess, ownerless},
                             world.facts());
  EXPECT_EQ(plan.actions, (std::vector<SweepAction>{{20, "target.object", "usb_dac"}}));
  EXPECT_TRUE(plan.keep.empty());

  // A server run the sweep does not know proves nothing either.
  SweepFacts unknownRun = world.facts();
  unknownRun.server = 0;
  proven.server = 0;
  EXPECT_TRUE(planSweep({proven}, unknownRun).actions.empty());
}

// An older Tavuno's journal (no server run in its records) still loads, its records intact
// otherwise, and the sweep drops them without acting.
TEST(SteerRecord, AnOlderJournalLoadsAndIsDroppedUnacted) {
  const std::string older = R"({"records": [{"node": 7, "serial": 1007, "appPid": 4242,
      "appStart": 77, "targetKey": "target.object", "sink": "usb_dac", "sinkWasDefault": false,
      "tap": "tavuno.tap.1.1", "ownerPid": 1, "ownerStart": 5}]})";
  const DecodedSteerRecords decoded = decodeSteerRecords(older);
  ASSERT_TRUE(decoded.ok);
  ASSERT_EQ(decoded.records.size(), 1u);
  EXPECT_EQ(decoded.records[0].server, 0u);
  EXPECT_EQ(decoded.records[0].sink, "usb_dac");
  World world;
  world.streams[{7, 1007}] = 4242;
  const SweepPlan plan = planSweep(decoded.records, world.facts());
  EXPECT_TRUE(plan.actions.empty());
  EXPECT_TRUE(plan.keep.empty());

  // A mistyped run is a bad record, not a run of 0.
  std::string mistyped = older;
  mistyped.insert(mistyped.rfind('}', mistyped.size() - 3), R"(, "server": "x")");
  EXPECT_TRUE(decodeSteerRecords(mistyped).records.empty());
  // A pid beyond int64 is a bad record, not a pid of -1 after wrapping.
  std::string wrapped = older;
  wrapped.replace(wrapped.find("4242"), 4, "18446744073709551615");
  EXPECT_TRUE(decodeSteerRecords(wrapped).records.empty());
  // Written and read back, the run survives.
  SteerRecord r = record(3, 1);
  EXPECT_EQ(decodeSteerRecords(encodeSteerRecords({r})).records, std::vector<SteerRecord>{r});
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
