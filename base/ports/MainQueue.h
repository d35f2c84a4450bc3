#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "base/Latch.h"

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
//
// Quitting: whoever owns the main thread closes the queue first, before the
// service goes (the Qt application from aboutToQuit, a headless tool before
// it lets go of its service). From then on nothing queued runs, and a worker
// waiting in sync() is let go instead of deadlocking against a main thread
// that is busy tearing the program down. A service that goes first closes
// the queue itself only if one of its workers is waiting in sync().
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
  // from a worker; called on the main thread itself it runs inline. Once the
  // queue is closed it returns without running `work`, also when it was
  // already waiting; a worker must then take "nothing happened" for an answer.
  virtual void sync(std::function<void()> work) = 0;
  // Ends the queue for good, from any thread, idempotent: posted, delayed and
  // repeating work no longer runs (work already running finishes) and sync()
  // returns at once without running its work.
  virtual void close() = 0;
  virtual bool closed() const = 0;
  // On the main thread, quitting only: blocks until `done` opens or
  // `seconds` have passed on this queue's clock, and answers whether it
  // opened. Nothing queued runs meanwhile. The real queues wait in real time.
  virtual bool await(const Latch& done, double seconds) { return done.waitFor(seconds); }
};

}  // namespace tavuno
