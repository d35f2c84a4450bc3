#include "platform/linux/FollowerGate.h"

#include <algorithm>

namespace tavuno {

std::optional<double> TurnPacer::dueIn(double now) const {
  if (!pending_) return std::nullopt;
  return std::max(0.0, earliest_ - now);
}

double FollowerGate::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void FollowerGate::open() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = false;
    pacer_.end(0.0);
    pacer_.nudge();
  }
  changed_.notify_all();
}

void FollowerGate::close() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void FollowerGate::nudge() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    pacer_.nudge();
  }
  changed_.notify_all();
}

FollowerGate::Wake FollowerGate::await(double beat) {
  using Clock = std::chrono::steady_clock;
  std::unique_lock<std::mutex> lock(mutex_);
  const auto beatAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(std::max(0.0, beat)));
  for (;;) {
    if (closed_) return Wake::closed;
    const auto due = pacer_.dueIn(now());
    if (due && *due <= 0.0) {
      pacer_.begin();
      return Wake::turn;
    }
    auto until = Clock::time_point::max();
    if (due)
      until = Clock::now() +
              std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*due));
    if (beat > 0.0) {
      if (Clock::now() >= beatAt) return Wake::beat;
      until = std::min(until, beatAt);
    }
    if (until == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, until);
    }
  }
}

void FollowerGate::ended() {
  std::lock_guard<std::mutex> guard(mutex_);
  pacer_.end(now());
}

bool AppStreamFilter::touched(std::uint32_t id, std::optional<std::int32_t> pid) {
  auto it = seen_.find(id);
  const bool was = it != seen_.end() && ofApp(it->second);
  if (!pid) {
    if (it != seen_.end()) seen_.erase(it);
    return was;
  }
  seen_[id] = *pid;
  return was || ofApp(*pid);
}

std::optional<std::int32_t> AppStreamFilter::knownPid(std::uint32_t id) const {
  auto it = seen_.find(id);
  if (it == seen_.end()) return std::nullopt;
  return it->second;
}

}  // namespace tavuno
