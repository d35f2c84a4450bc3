#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tavuno {

// Opens once `count` pieces of work have said they are done: workers count
// down from any thread, the thread that handed the work out waits for it
// with a deadline (see MainQueue::await, which keeps to the queue's clock).
class Latch {
 public:
  explicit Latch(std::size_t count) : remaining_(count) {}
  Latch(const Latch&) = delete;
  Latch& operator=(const Latch&) = delete;

  // From any thread; more calls than the count are ignored.
  void countDown() {
    {
      std::lock_guard lock(mutex_);
      if (remaining_ == 0) return;
      --remaining_;
    }
    opened_.notify_all();
  }
  bool isOpen() const {
    std::lock_guard lock(mutex_);
    return remaining_ == 0;
  }
  std::size_t remaining() const {
    std::lock_guard lock(mutex_);
    return remaining_;
  }
  // Blocks for at most `seconds` of real (steady) time; whether it opened.
  bool waitFor(double seconds) const {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, std::chrono::duration<double>(seconds > 0 ? seconds : 0),
                            [this] { return remaining_ == 0; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable opened_;
  std::size_t remaining_;
};

}  // namespace tavuno
