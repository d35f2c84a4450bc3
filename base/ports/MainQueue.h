#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace tavuno {

// A handle to delayed or repeating work on the main queue. Cancelling is
// idempotent and safe from any thread; work already running finishes.
class WorkItem {
 public:
  void cancel() { cancelled_.store(true, std::memory_order_release); }
  bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> cancelled_{false};
};

using WorkItemRef = std::shared_ptr<WorkItem>;

// The main thread. Every field of the service and its controllers lives here;
// workers reach it through post() or sync().
class MainQueue {
 public:
  virtual ~MainQueue() = default;

  // Runs `work` on the main thread, after everything already posted.
  virtual void post(std::function<void()> work) = 0;
  // Runs `work` on the main thread `seconds` from now unless cancelled first.
  virtual WorkItemRef postAfter(double seconds, std::function<void()> work) = 0;
  // Runs `tick` every `seconds` until cancelled (the first tick one interval
  // from now).
  virtual WorkItemRef repeatEvery(double seconds, std::function<void()> tick) = 0;
  // Monotonic seconds since an arbitrary start (the system uptime).
  virtual double uptime() const = 0;
  // Runs `work` on the main thread and returns when it has finished. Called
  // from a worker; called on the main thread itself it runs inline.
  virtual void sync(std::function<void()> work) = 0;
};

}  // namespace tavuno
