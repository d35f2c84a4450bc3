#include "platform/sim/SimMainQueue.h"

#include <algorithm>

namespace tavuno {

void SimMainQueue::schedule(double due, Entry entry) {
  if (closed_) return;
  entries_.emplace(Key{due, sequence_++}, std::move(entry));
}

void SimMainQueue::post(std::function<void()> work) {
  schedule(now_, Entry{std::make_shared<WorkItem>(), std::move(work)});
}

WorkItemRef SimMainQueue::postAfter(double seconds, std::function<void()> work) {
  auto item = std::make_shared<WorkItem>();
  schedule(now_ + std::max(0.0, seconds), Entry{item, std::move(work)});
  return item;
}

WorkItemRef SimMainQueue::repeatEvery(double seconds, std::function<void()> tick) {
  auto item = std::make_shared<WorkItem>();
  double interval = std::max(seconds, 1e-6);
  schedule(now_ + interval, Entry{item, std::move(tick), interval});
  return item;
}

void SimMainQueue::advance(double seconds) {
  const double target = now_ + std::max(0.0, seconds);
  while (!entries_.empty() && entries_.begin()->first.first <= target) {
    auto node = entries_.extract(entries_.begin());
    Entry& entry = node.mapped();
    now_ = std::max(now_, node.key().first);
    if (entry.item->isCancelled()) continue;
    if (entry.interval > 0) {
      // Reschedule before the tick so a tick that cancels its own timer wins.
      schedule(node.key().first + entry.interval, Entry{entry.item, entry.work, entry.interval});
    }
    ++depth_;
    entry.work();
    --depth_;
  }
  now_ = target;
}

void SimMainQueue::sync(std::function<void()> work) {
  if (depth_ == 0) runPending();
  if (closed_) return;
  ++depth_;
  work();
  --depth_;
}

bool SimMainQueue::await(const Latch& done, double seconds) {
  const double deadline = now_ + std::max(0.0, seconds);
  for (;;) {
    if (whileAwaiting) whileAwaiting();
    if (done.isOpen()) return true;
    if (now_ >= deadline) return false;
    now_ = std::min(deadline, now_ + awaitStep);
  }
}

void SimMainQueue::close() {
  closed_ = true;
  // The entry running now, if any, was taken out of the map already.
  entries_.clear();
}

std::size_t SimMainQueue::scheduledCount() const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(),
                    [](const auto& e) { return !e.second.item->isCancelled(); }));
}

}  // namespace tavuno
