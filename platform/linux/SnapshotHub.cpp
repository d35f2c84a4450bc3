#include "platform/linux/SnapshotHub.h"

#include <chrono>

namespace tavuno {

namespace {

SnapshotRef emptySnapshot() {
  auto empty = std::make_shared<Snapshot>();
  ObjectIds ids;
  empty->table = PropertyTable::build(empty->state, ids, {});
  return empty;
}

}  // namespace

SnapshotHub::SnapshotHub() : latest_(emptySnapshot()) {}

SnapshotRef SnapshotHub::snapshot() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

std::uint64_t SnapshotHub::publications() const {
  std::lock_guard lock(mutex_);
  return publications_;
}

void SnapshotHub::publish(SnapshotRef next) {
  {
    std::lock_guard lock(mutex_);
    latest_ = std::move(next);
    ++publications_;
  }
  published_.notify_all();
  std::lock_guard lock(listenersMutex_);
  for (const auto& [token, listener] : listeners_)
    listener();
}

SnapshotHub::Token SnapshotHub::listen(std::function<void()> onPublish) {
  std::lock_guard lock(listenersMutex_);
  Token token = nextToken_++;
  listeners_.emplace(token, std::move(onPublish));
  return token;
}

void SnapshotHub::unlisten(Token token) {
  std::lock_guard lock(listenersMutex_);
  listeners_.erase(token);
}

bool SnapshotHub::waitFor(const std::function<bool(const Snapshot&)>& condition,
                          double seconds) const {
  std::unique_lock lock(mutex_);
  return published_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [&] { return condition(*latest_); });
}

}  // namespace tavuno
