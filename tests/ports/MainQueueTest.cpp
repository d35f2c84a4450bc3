#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimMainQueue.h"

namespace tavuno {
namespace {

TEST(SimMainQueue, RunsDueWorkInDueOrderWithTiesInScheduleOrder) {
  SimMainQueue main;
  std::string order;
  main.postAfter(0.2, [&] { order += "c"; });
  main.postAfter(0.1, [&] { order += "a"; });
  main.postAfter(0.1, [&] { order += "b"; });
  main.post([&] { order += "0"; });
  main.advance(0.15);
  EXPECT_EQ(order, "0ab");
  EXPECT_DOUBLE_EQ(main.uptime(), 0.15);
  main.advance(0.05);
  EXPECT_EQ(order, "0abc");
}

TEST(SimMainQueue, RunsWorkScheduledWhileAdvancingWhenItFallsDue) {
  SimMainQueue main;
  std::vector<double> seen;
  main.postAfter(1.0, [&] {
    seen.push_back(main.uptime());
    main.postAfter(0.5, [&] { seen.push_back(main.uptime()); });
    main.postAfter(5.0, [&] { seen.push_back(main.uptime()); });
  });
  main.advance(2.0);
  EXPECT_EQ(seen, (std::vector<double>{1.0, 1.5}));
  EXPECT_DOUBLE_EQ(main.uptime(), 2.0);
}

TEST(SimMainQueue, CancelledWorkNeverRunsAndTimersRepeatUntilCancelled) {
  SimMainQueue main;
  int delayed = 0, ticks = 0;
  main.postAfter(1.0, [&] { ++delayed; })->cancel();
  auto timer = main.repeatEvery(2.0, [&] { ++ticks; });
  main.advance(7.0);
  EXPECT_EQ(delayed, 0);
  EXPECT_EQ(ticks, 3);
  timer->cancel();
  main.advance(10.0);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(main.scheduledCount(), 0u);
}

TEST(SimMainQueue, ATickThatCancelsItsOwnTimerStops) {
  SimMainQueue main;
  int ticks = 0;
  WorkItemRef timer;
  timer = main.repeatEvery(1.0, [&] {
    if (++ticks == 2) timer->cancel();
  });
  main.advance(10.0);
  EXPECT_EQ(ticks, 2);
}

TEST(SimMainQueue, AfterCloseNothingRunsAndSyncReturnsWithoutRunning) {
  SimMainQueue main;
  std::string ran;
  main.postAfter(1.0, [&] { ran += "d"; });
  main.repeatEvery(1.0, [&] { ran += "t"; });
  main.close();
  main.post([&] { ran += "p"; });
  main.sync([&] { ran += "s"; });
  main.advance(10.0);
  EXPECT_EQ(ran, "");
  EXPECT_EQ(main.scheduledCount(), 0u);
}

TEST(ManualSerialQueue, RunsOnlyWhenDrainedAndInOrder) {
  ManualSerialQueueFactory factory;
  auto queue = factory.makeQueue("q", QueuePriority::userInitiated);
  std::string order;
  queue->async([&] {
    order += "a";
    queue->async([&] { order += "c"; });
  });
  queue->async([&] { order += "b"; });
  EXPECT_EQ(order, "");
  ASSERT_EQ(factory.queues().size(), 1u);
  EXPECT_TRUE(factory.queues()[0]->runOne());
  EXPECT_EQ(order, "a");
  EXPECT_EQ(factory.runAll(), 2u);
  EXPECT_EQ(order, "abc");
  EXPECT_EQ(queue->label(), "q");
}

}  // namespace
}  // namespace tavuno
