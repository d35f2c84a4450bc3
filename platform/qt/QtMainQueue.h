#pragma once

#include <condition_variable>
#include <mutex>

#include <QObject>

#include "base/ports/MainQueue.h"

class QTimer;

namespace tavuno {

// The main queue on the Qt event loop of the thread that makes it.
//
// post() and sync() may be called from any thread, Qt's or not. Timers can
// only be started on the thread that owns them, so postAfter() and
// repeatEvery() fix their deadline when called and, from another thread,
// post the start of the timer to the main thread.
//
// close() is the first step of quitting (from QCoreApplication::aboutToQuit,
// before the service goes): from then on sync() returns at once without
// running its work, and a worker already waiting in sync() is released, so a
// worker can never keep the main thread waiting while it joins it. Work
// still queued or timed is dropped at once (what it captured is released
// then, not when the queue goes), and work posted later is dropped.
class QtMainQueue final : public MainQueue {
 public:
  QtMainQueue();
  ~QtMainQueue() override;
  QtMainQueue(const QtMainQueue&) = delete;
  QtMainQueue& operator=(const QtMainQueue&) = delete;

  void post(std::function<void()> work) override;
  WorkItemRef postAfter(double seconds, std::function<void()> work) override;
  WorkItemRef repeatEvery(double seconds, std::function<void()> tick) override;
  // CLOCK_MONOTONIC, in seconds.
  double uptime() const override;
  void sync(std::function<void()> work) override;

  // From any thread; idempotent. On the main thread the queued and timed
  // work is also let go at once.
  void close() override;
  bool closed() const override;

  // Timers started and not yet finished or noticed as cancelled, and workers
  // waiting in sync() (for tests).
  int liveTimerCount() const;
  int waitingSyncCount() const;

 private:
  bool onMainThread() const;
  void startTimer(WorkItemRef item, double deadline, double interval, std::function<void()> work);

  QObject* context_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool closed_ = false;
  int waitingSyncs_ = 0;
};

}  // namespace tavuno
