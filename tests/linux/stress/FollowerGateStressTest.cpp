// A session's follower on its own thread: changes that come during a turn are one more turn, and
// a close wakes a follower that sleeps with nothing to do.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/linux/FollowerGate.h"

namespace tavuno {
namespace {

TEST(FollowerGateStressTest, ABurstDuringATurnIsOneMoreTurnAndCloseWakesTheSleeper) {
  for (int round = 0; round < 50; ++round) {
    FollowerGate gate(0.0);
    gate.open();
    std::atomic<int> turns{0};
    std::atomic<bool> inTurn{false};
    std::atomic<bool> release{false};
    std::thread follower([&] {
      while (gate.await(0) == FollowerGate::Wake::turn) {
        const int turn = ++turns;
        if (turn == 1) {
          inTurn = true;
          while (!release.load())
            std::this_thread::yield();
        }
        gate.ended();
      }
    });
    while (!inTurn.load())
      std::this_thread::yield();
    for (int i = 0; i < 200; ++i)
      gate.nudge();
    release = true;
    while (turns.load() < 2)
      std::this_thread::yield();
    // The second turn took the whole burst; the follower now sleeps until the close.
    gate.close();
    follower.join();
    EXPECT_EQ(turns.load(), 2) << "round " << round;
  }
}

}  // namespace
}  // namespace tavuno
