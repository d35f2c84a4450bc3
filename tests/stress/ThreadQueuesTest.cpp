#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/std/ThreadMainQueue.h"
#include "platform/std/ThreadSerialQueue.h"

namespace tavuno {
namespace {

TEST(ThreadQueues, WorkerHopsSynchronouslyOntoTheMainThreadAndBack) {
  ThreadMainQueue main;
  ThreadSerialQueueFactory factory;
  auto worker = factory.makeQueue("worker", QueuePriority::userInitiated);
  std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<bool> ranOnMain{false};
  std::vector<int> order;  // written on the worker, then on main, in sequence

  worker->async([&] {
    order.push_back(1);
    main.sync([&] {
      ranOnMain = std::this_thread::get_id() == mainThread;
      order.push_back(2);
      main.sync([&] { order.push_back(3); });  // nested: runs inline
    });
    order.push_back(4);
    main.post([&] { main.stop(); });
  });
  main.run();
  EXPECT_TRUE(ranOnMain);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ThreadQueues, DelayedWorkRunsInDueOrderAndCancelledWorkNever) {
  ThreadMainQueue main;
  std::string order;
  main.postAfter(0.03, [&] { order += "b"; });
  main.postAfter(0.01, [&] { order += "a"; });
  main.postAfter(0.02, [&] { order += "x"; })->cancel();
  int ticks = 0;
  WorkItemRef timer = main.repeatEvery(0.005, [&] {
    if (++ticks == 3) timer->cancel();
  });
  main.postAfter(0.05, [&] { main.stop(); });
  main.run();
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(ticks, 3);
}

TEST(ThreadQueues, AClosedQueueRunsNothingAndItsSyncReturnsAtOnce) {
  ThreadMainQueue main;
  bool ran = false;
  main.post([&] { ran = true; });
  main.close();
  main.postAfter(0, [&] { ran = true; });
  main.sync([&] { ran = true; });  // the loop is not running: this would wait forever
  main.run();                      // returns at once
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tavuno
