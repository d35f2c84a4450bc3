// What wakes a session's follower, and how often: the filter of the application's streams, the
// pacing of its turns, and the gate's answers (its threads: linux/stress/FollowerGateStressTest).
#include <gtest/gtest.h>

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

// On one thread, with no spacing: what a wake answers follows from what came before it.
TEST(FollowerGateTest, ATurnOnlyForAChangeAndABurstIsOne) {
  FollowerGate gate(0.0);
  gate.open();
  ASSERT_EQ(gate.await(0), FollowerGate::Wake::turn);  // the first look, at once
  gate.ended();
  for (int i = 0; i < 200; ++i)
    gate.nudge();
  EXPECT_EQ(gate.await(0), FollowerGate::Wake::turn);
  gate.ended();
  // Nothing since: a follower that beats wakes for its beat only.
  EXPECT_EQ(gate.await(0.001), FollowerGate::Wake::beat);
  gate.close();
  EXPECT_EQ(gate.await(0), FollowerGate::Wake::closed);
  gate.nudge();  // closed is for good
  EXPECT_EQ(gate.await(0), FollowerGate::Wake::closed);
}

}  // namespace
}  // namespace tavuno
