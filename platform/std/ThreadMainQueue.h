#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "base/ports/MainQueue.h"

namespace tavuno {

// The main queue for headless use: run() turns the calling thread into the
// main thread and serves posted, delayed and repeating work until stop() or
// close(). post/postAfter/repeatEvery/sync/close may be called from any
// thread. Destruction closes the queue and waits until no worker is left in
// sync() (they leave at once), so a worker never touches a freed queue; the
// loop itself must have returned by then.
class ThreadMainQueue : public MainQueue {
 public:
  ThreadMainQueue() = default;
  ~ThreadMainQueue() override;
  ThreadMainQueue(const ThreadMainQueue&) = delete;
  ThreadMainQueue& operator=(const ThreadMainQueue&) = delete;

  void post(std::function<void()> work) override;
  WorkItemRef postAfter(double seconds, std::function<void()> work) override;
  WorkItemRef repeatEvery(double seconds, std::function<void()> tick) override;
  double uptime() const override;
  void sync(std::function<void()> work) override;
  // Also makes run() return after the item it is running.
  void close() override;
  bool closed() const override;

  void run();
  // Makes run() return after the item it is running, from any thread; the
  // queue keeps what is pending for the next run().
  void stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    WorkItemRef item;
    std::function<void()> work;
    Clock::duration interval{};
  };
  void schedule(Clock::time_point due, Entry entry);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable syncDone_;  // a sync's work finished, or the queue closed
  int syncCallers_ = 0;               // workers inside sync()
  bool closed_ = false;
  std::multimap<Clock::time_point, Entry> entries_;
  std::thread::id mainThread_;
  bool running_ = false;
  bool stopRequested_ = false;
};

}  // namespace tavuno
