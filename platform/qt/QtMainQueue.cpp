#include "platform/qt/QtMainQueue.h"

#include <time.h>

#include <cmath>
#include <limits>
#include <memory>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace tavuno {

namespace {

// Milliseconds from `now` to `deadline`, within what QTimer takes.
int millisecondsUntil(double deadline, double now) {
  const double ms = std::ceil((deadline - now) * 1000.0);
  if (!(ms > 0)) return 0;
  return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                               : static_cast<int>(ms);
}

}  // namespace

QtMainQueue::QtMainQueue() : context_(new QObject) {}

QtMainQueue::~QtMainQueue() {
  close();
  delete context_;  // its timers and queued calls go with it
}

bool QtMainQueue::onMainThread() const {
  return QThread::currentThread() == context_->thread();
}

bool QtMainQueue::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void QtMainQueue::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  released_.notify_all();
  // Work that will never run is let go now, while whatever it holds (a
  // session waiting to be stopped, say) can still be released in order.
  if (onMainThread()) {
    QCoreApplication::removePostedEvents(context_);
    qDeleteAll(context_->findChildren<QTimer*>(Qt::FindDirectChildrenOnly));
  }
}

void QtMainQueue::post(std::function<void()> work) {
  if (closed()) return;
  QMetaObject::invokeMethod(
      context_,
      [this, work = std::move(work)] {
        if (!closed()) work();
      },
      Qt::QueuedConnection);
}

double QtMainQueue::uptime() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

WorkItemRef QtMainQueue::postAfter(double seconds, std::function<void()> work) {
  auto item = std::make_shared<WorkItem>();
  const double deadline = uptime() + (std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0);
  if (onMainThread()) {
    startTimer(item, deadline, 0, std::move(work));
  } else {
    post([this, item, deadline, work = std::move(work)]() mutable {
      startTimer(item, deadline, 0, std::move(work));
    });
  }
  return item;
}

WorkItemRef QtMainQueue::repeatEvery(double seconds, std::function<void()> tick) {
  auto item = std::make_shared<WorkItem>();
  // A timer firing continuously would starve the loop: at least 1 ms apart.
  const double interval = std::isfinite(seconds) ? std::max(seconds, 0.001) : 0.001;
  const double deadline = uptime() + interval;
  if (onMainThread()) {
    startTimer(item, deadline, interval, std::move(tick));
  } else {
    post([this, item, deadline, interval, tick = std::move(tick)]() mutable {
      startTimer(item, deadline, interval, std::move(tick));
    });
  }
  return item;
}

void QtMainQueue::startTimer(WorkItemRef item, double deadline, double interval,
                             std::function<void()> work) {
  if (item->isCancelled() || closed()) return;
  auto* timer = new QTimer(context_);
  timer->setTimerType(Qt::PreciseTimer);
  timer->setSingleShot(interval == 0);
  // A repeating timer keeps its first interval, fixed when it was asked for.
  timer->setInterval(millisecondsUntil(deadline, uptime()));
  QObject::connect(timer, &QTimer::timeout, timer,
                   [this, timer, item, interval, work = std::move(work)] {
                     if (item->isCancelled() || closed()) {
                       timer->stop();
                       timer->deleteLater();
                       return;
                     }
                     if (interval == 0) timer->deleteLater();
                     work();
                   });
  timer->start();
}

int QtMainQueue::liveTimerCount() const {
  int count = 0;
  for (auto* timer : context_->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
    if (timer->isActive()) ++count;
  return count;
}

int QtMainQueue::waitingSyncCount() const {
  std::lock_guard lock(mutex_);
  return waitingSyncs_;
}

void QtMainQueue::sync(std::function<void()> work) {
  if (onMainThread()) {
    work();
    return;
  }
  struct Hop {
    bool running = false;
    bool done = false;
  };
  auto hop = std::make_shared<Hop>();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  // The work runs on the main thread while this thread waits, so it may use
  // what the caller keeps on its stack; after close() it never runs.
  QMetaObject::invokeMethod(
      context_,
      [this, hop, &work] {
        {
          std::lock_guard lock(mutex_);
          if (closed_) return;
          hop->running = true;
        }
        work();
        {
          std::lock_guard lock(mutex_);
          hop->done = true;
        }
        released_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  ++waitingSyncs_;
  // Closing releases the wait, but never while the work runs: it may be using
  // this frame.
  released_.wait(lock, [&] { return hop->done || (closed_ && !hop->running); });
  --waitingSyncs_;
}

}  // namespace tavuno
