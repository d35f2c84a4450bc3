#include "engine/MainHop.h"

#include <utility>

namespace tavuno {

void MainHop::sync(const std::function<void()>& work) {
  MainQueue* main;
  std::uint64_t caller;
  {
    std::lock_guard lock(mutex_);
    if (!main_) return;
    main = main_;
    caller = nextCaller_++;
    callers_[caller] = Caller{std::this_thread::get_id()};
  }
  main->sync([this, &work, caller] {
    {
      std::lock_guard lock(mutex_);
      if (!main_) return;
      callers_[caller].served = true;
    }
    work();
    std::lock_guard lock(mutex_);
    callers_[caller].served = false;
  });
  std::lock_guard lock(mutex_);
  callers_.erase(caller);
  left_.notify_all();
}

void MainHop::post(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  if (!main_) return;
  main_->post([hop = shared_from_this(), work = std::move(work)] {
    if (!hop->isClosed()) work();
  });
}

double MainHop::uptime() const {
  std::lock_guard lock(mutex_);
  if (main_) lastUptime_ = main_->uptime();
  return lastUptime_;
}

bool MainHop::isClosed() const {
  std::lock_guard lock(mutex_);
  return main_ == nullptr;
}

bool MainHop::othersInside() const {
  const auto self = std::this_thread::get_id();
  for (const auto& [id, caller] : callers_)
    if (caller.thread != self && !caller.served) return true;
  return false;
}

void MainHop::close() {
  std::unique_lock lock(mutex_);
  if (!main_) return;
  MainQueue* main = std::exchange(main_, nullptr);
  lastUptime_ = main->uptime();
  if (!othersInside()) return;
  lock.unlock();
  main->close();
  lock.lock();
  left_.wait(lock, [this] { return !othersInside(); });
}

}  // namespace tavuno
