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
// main thread and serves posted, delayed and repeating work until stop().
// post/postAfter/repeatEvery/sync may be called from any thread.
class ThreadMainQueue : public MainQueue {
 public:
  void post(std::function<void()> work) override;
  WorkItemRef postAfter(double seconds, std::function<void()> work) override;
  WorkItemRef repeatEvery(double seconds, std::function<void()> tick) override;
  double uptime() const override;
  void sync(std::function<void()> work) override;

  void run();
  // Makes run() return after the item it is running, from any thread.
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
  std::multimap<Clock::time_point, Entry> entries_;
  std::thread::id mainThread_;
  bool running_ = false;
  bool stopRequested_ = false;
};

}  // namespace tavuno
