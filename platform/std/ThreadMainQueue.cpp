#include "platform/std/ThreadMainQueue.h"

#include <future>

namespace tavuno {

namespace {

std::chrono::steady_clock::duration toDuration(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds > 0 ? seconds : 0));
}

}  // namespace

void ThreadMainQueue::schedule(Clock::time_point due, Entry entry) {
  {
    std::lock_guard lock(mutex_);
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
  bool onMain;
  {
    std::lock_guard lock(mutex_);
    onMain = running_ && std::this_thread::get_id() == mainThread_;
  }
  if (onMain) {
    // Already on the main thread: waiting would deadlock.
    work();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  post([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

void ThreadMainQueue::run() {
  std::unique_lock lock(mutex_);
  mainThread_ = std::this_thread::get_id();
  running_ = true;
  stopRequested_ = false;
  while (!stopRequested_) {
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

}  // namespace tavuno
