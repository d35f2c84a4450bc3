// What wakes a session's follower, and how often: the filter of the application's streams, the
// pacing of its turns, and the gate that puts the two on a thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/FollowerGate.h"

namespace tavuno {
namespace {

constexpr std::int32_t kApp = 4242;
constexpr std::int32_t kOther = 7;

TEST(AppStreamFilterTest, OnlyTheApplicationsStreamsCountTheirWholeLife) {
  AppStreamFilter filter({kApp, kApp + 1});
  EXPECT_TRUE(filter.touched(10, kApp));      // it comes
  EXPECT_TRUE(filter.touched(10, kApp));      // it changes
  EXPECT_TRUE(filter.touched(11, kApp + 1));  // the app's other process
  EXPECT_FALSE(filter.touched(20, kOther));   // another program's stream comes and changes
  EXPECT_FALSE(filter.touched(20, kOther));
  EXPECT_FALSE(filter.touched(20, std::nullopt));
  EXPECT_TRUE(filter.touched(10, std::nullopt));   // the app's goes
  EXPECT_FALSE(filter.touched(10, std::nullopt));  // and is forgotten: gone is gone once
  EXPECT_FALSE(filter.touched(30, std::nullopt));  // never seen
}

TEST(AppStreamFilterTest, AProcessSaidLateOrChangedIsFollowed) {
  AppStreamFilter filter({kApp});
  // A node is announced before its properties: no process yet, then the app's.
  EXPECT_FALSE(filter.touched(5, 0));
  EXPECT_TRUE(filter.touched(5, kApp));
  // A stream that stops being the app's counts once more, so that the follower lets it go.
  EXPECT_TRUE(filter.touched(5, kOther));
  EXPECT_FALSE(filter.touched(5, kOther));
  // No process and pid 0 are nobody's, whatever the application.
  AppStreamFilter none({0});
  EXPECT_FALSE(none.touched(1, 0));
}

TEST(AppStreamFilterTest, KnowsTheProcessOfEveryStreamSeenUntilItGoes) {
  AppStreamFilter filter({kApp});
  EXPECT_EQ(filter.knownPid(3), std::nullopt);
  filter.touched(3, kOther);
  filter.touched(4, kApp);
  EXPECT_EQ(filter.knownPid(3), kOther);
  EXPECT_EQ(filter.knownPid(4), kApp);
  filter.touched(3, std::nullopt);
  EXPECT_EQ(filter.knownPid(3), std::nullopt);
}

TEST(TurnPacerTest, ABurstIsOneTurnAndTurnsAreSpaced) {
  TurnPacer pacer(0.025);
  EXPECT_EQ(pacer.dueIn(100.0), std::nullopt);  // nothing changed: no turn, however long
  pacer.nudge();
  EXPECT_EQ(pacer.dueIn(100.0), 0.0);  // the first change is taken at once
  pacer.begin();
  for (int i = 0; i < 50; ++i)
    pacer.nudge();  // during the turn
  pacer.end(100.010);
  // The burst waits for 25 ms after the turn's end, then is one turn.
  ASSERT_TRUE(pacer.dueIn(100.020));
  EXPECT_NEAR(*pacer.dueIn(100.020), 0.015, 1e-9);
  EXPECT_EQ(pacer.dueIn(100.036), 0.0);
  pacer.begin();
  EXPECT_EQ(pacer.dueIn(100.040), std::nullopt);
  pacer.end(100.040);
  // A change long after the last turn is taken at once.
  pacer.nudge();
  EXPECT_EQ(pacer.dueIn(101.0), 0.0);
}

TEST(FollowerGateTest, SleepsUntilNudgedAndTakesABurstInOneTurn) {
  FollowerGate gate(0.025);
  gate.open();
  ASSERT_EQ(gate.await(0), FollowerGate::Wake::turn);  // the first look, at once
  gate.ended();

  std::atomic<int> turns{0};
  std::atomic<bool> burstDone{false};
  std::thread follower([&] {
    while (gate.await(0) == FollowerGate::Wake::turn) {
      ++turns;
      // A turn outlasts the burst it woke for: what comes meanwhile is one more turn.
      while (!burstDone.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      gate.ended();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(turns.load(), 0);  // not woken without a change

  for (int i = 0; i < 200; ++i)
    gate.nudge();
  burstDone = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (turns.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // 200 nudges in a row: one turn, or two when the follower woke in the middle of them.
  EXPECT_GE(turns.load(), 1);
  EXPECT_LE(turns.load(), 2);

  gate.close();  // wakes the follower for good
  follower.join();
  EXPECT_EQ(gate.await(0), FollowerGate::Wake::closed);
}

TEST(FollowerGateTest, BeatsWithoutAChangeWhenAskedTo) {
  FollowerGate gate(0.025);
  gate.open();
  ASSERT_EQ(gate.await(0.01), FollowerGate::Wake::turn);
  gate.ended();
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(gate.await(0.05), FollowerGate::Wake::beat);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace tavuno
