#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <QThread>

#include "platform/qt/QtMainQueue.h"
#include "ui/QtWait.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

TEST(QtMainQueue, WorkFromAnyThreadRunsOnTheMainThreadInOrder) {
  QtMainQueue main;
  std::vector<int> order;
  std::atomic<bool> wrongThread{false};
  QThread* gui = QThread::currentThread();
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i)
      main.post([&, i] {
        if (QThread::currentThread() != gui) wrongThread = true;
        order.push_back(i);
      });
  });
  worker.join();
  ASSERT_TRUE(processEventsUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(wrongThread);
}

// A QTimer started on a thread Qt did not make never fires: delayed work
// asked for from a plain thread must still run, and not before its deadline.
TEST(QtMainQueue, DelayedWorkKeepsItsDeadlineAndCancellationFromAnyThread) {
  QtMainQueue main;
  double askedAt = 0, ranAt = 0;
  bool cancelledRan = false;
  WorkItemRef cancelled;
  std::thread worker([&] {
    askedAt = main.uptime();
    main.postAfter(0.05, [&] { ranAt = main.uptime(); });
    cancelled = main.postAfter(0.01, [&] { cancelledRan = true; });
    cancelled->cancel();
  });
  worker.join();
  auto mainCancelled = main.postAfter(0.01, [&] { cancelledRan = true; });
  mainCancelled->cancel();
  ASSERT_TRUE(processEventsUntil([&] { return ranAt > 0; }));
  EXPECT_GE(ranAt - askedAt, 0.05 - 1e-3);
  ASSERT_TRUE(processEventsUntil([&] { return main.liveTimerCount() == 0; }));
  EXPECT_FALSE(cancelledRan);
}

TEST(QtMainQueue, RepeatingWorkTicksUntilCancelled) {
  QtMainQueue main;
  int ticks = 0;
  WorkItemRef timer = main.repeatEvery(0.005, [&] {
    if (++ticks == 3) timer->cancel();
  });
  ASSERT_TRUE(processEventsUntil([&] { return ticks >= 3 && main.liveTimerCount() == 0; }));
  EXPECT_EQ(ticks, 3);
}

TEST(QtMainQueue, SyncRunsOnTheMainThreadAndReturnsAfterIt) {
  QtMainQueue main;
  std::atomic<int> value{0};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    main.sync([&] { value = QThread::currentThread() == QCoreApplication::instance()->thread(); });
    returned = true;
  });
  EXPECT_TRUE(processEventsUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(value, 1);
  bool inline_ = false;
  main.sync([&] { inline_ = true; });
  EXPECT_TRUE(inline_) << "sync on the main thread runs inline";
}

// Quitting: the main thread closes the queue and then joins its workers. A
// worker already waiting in sync, and one arriving later, return without
// their work running, even though the loop never turns again.
TEST(QtMainQueue, CloseReleasesWorkersWaitingInSyncWithoutRunningTheirWork) {
  QtMainQueue main;
  std::atomic<bool> ran{false};
  auto held = std::make_shared<int>(0);
  main.post([held] {});
  main.postAfter(10, [held] {});
  std::thread early([&] { main.sync([&] { ran = true; }); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (main.waitingSyncCount() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(main.waitingSyncCount(), 1);
  main.close();  // no event processed in between: the hop is still queued
  early.join();
  EXPECT_EQ(held.use_count(), 1) << "queued work is let go at close, not when the queue goes";
  std::thread late([&] { main.sync([&] { ran = true; }); });
  late.join();
  bool posted = false;
  main.post([&] { posted = true; });
  main.postAfter(0, [&] { posted = true; });
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  EXPECT_FALSE(posted) << "nothing runs once the queue is closed";
}

}  // namespace
}  // namespace tavuno
