#include "platform/std/ThreadMainQueue.h"

namespace tavuno {

namespace {

std::chrono::steady_clock::duration toDuration(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds > 0 ? seconds : 0));
}

}  // namespace

ThreadMainQueue::~ThreadMainQueue() {
  close();
  std::unique_lock lock(mutex_);
  syncDone_.wait(lock, [this] { return syncCallers_ == 0; });
}

void ThreadMainQueue::schedule(Clock::time_point due, Entry entry) {
  {
    std::lock_guard lock(mutex_);
    // Work for a closed queue is dropped (outside the lock, with `entry`).
    if (closed_) return;
    // multimap keeps insertion order among equal keys: ties run in order.
    entries_.emplace(due, std::move(entry));
  }
  wake_.notify_one();
}

void ThreadMainQueue::post(std::function<void()> work) {
  schedule(Clock::now(), Entry{std::make_shared<WorkItem>(), std::move(work)});
}

WorkItemRef ThreadMainQueue::postAfter(double seconds, std::function<void()> work) {
  auto item = std::make_shared<WorkItem>();
  schedule(Clock::now() + toDuration(seconds), Entry{item, std::move(work)});
  return item;
}

WorkItemRef ThreadMainQueue::repeatEvery(double seconds, std::function<void()> tick) {
  auto item = std::make_shared<WorkItem>();
  auto interval = std::max(toDuration(seconds), Clock::duration(std::chrono::milliseconds(1)));
  schedule(Clock::now() + interval, Entry{item, std::move(tick), interval});
  return item;
}

double ThreadMainQueue::uptime() const {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void ThreadMainQueue::sync(std::function<void()> work) {
  std::unique_lock lock(mutex_);
  if (closed_) return;
  if (running_ && std::this_thread::get_id() == mainThread_) {
    // Already on the main thread: waiting would deadlock.
    lock.unlock();
    work();
    return;
  }
  // Shared with the queued item, which outlives this call when the queue
  // closes first. Once started, the work always finishes before the caller
  // returns: `work` lives in the caller's frame.
  struct Call {
    bool started = false;
    bool done = false;
  };
  auto call = std::make_shared<Call>();
  auto item = [this, call, &work] {
    {
      std::lock_guard inner(mutex_);
      if (closed_) return;  // its caller has been let go
      call->started = true;
    }
    work();
    {
      std::lock_guard inner(mutex_);
      call->done = true;
    }
    syncDone_.notify_all();
  };
  ++syncCallers_;
  entries_.emplace(Clock::now(), Entry{std::make_shared<WorkItem>(), std::move(item)});
  wake_.notify_one();
  syncDone_.wait(lock, [&] { return call->done || (closed_ && !call->started); });
  if (--syncCallers_ == 0) syncDone_.notify_all();
}

void ThreadMainQueue::close() {
  decltype(entries_) dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(entries_);
  }
  wake_.notify_all();
  syncDone_.notify_all();
}  // the dropped work goes here, outside the lock

void ThreadMainQueue::run() {
  std::unique_lock lock(mutex_);
  mainThread_ = std::this_thread::get_id();
  running_ = true;
  stopRequested_ = false;
  while (!stopRequested_ && !closed_) {
    if (entries_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto due = entries_.begin()->first;
    if (due > Clock::now()) {
      wake_.wait_until(lock, due);
      continue;
    }
    auto node = entries_.extract(entries_.begin());
    Entry& entry = node.mapped();
    if (entry.item->isCancelled()) continue;
    if (entry.interval != Clock::duration::zero()) {
      // A timer that fell behind skips its missed ticks rather than starving
      // work posted meanwhile, which is due earlier than any catch-up tick.
      auto next = node.key() + entry.interval;
      if (const auto now = Clock::now(); next < now) next = now + entry.interval;
      entries_.emplace(next, Entry{entry.item, entry.work, entry.interval});
    }
    lock.unlock();
    entry.work();
    lock.lock();
  }
  running_ = false;
}

void ThreadMainQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
}

bool ThreadMainQueue::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace tavuno
