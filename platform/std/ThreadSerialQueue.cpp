#include "platform/std/ThreadSerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tavuno {

// Owned jointly by the queue and its thread, so a detached thread never
// touches a destroyed queue.
struct ThreadSerialQueue::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> pending;
  bool closing = false;
  bool busy = false;      // an item is running
  bool detached = false;  // destruction leaves a busy thread to finish alone
  std::thread thread;

  void loop() {
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return closing || !pending.empty(); });
      if (pending.empty()) return;
      auto work = std::move(pending.front());
      pending.pop_front();
      busy = true;
      lock.unlock();
      work();
      work = nullptr;  // release captures before taking the lock again
      lock.lock();
      busy = false;
    }
  }
};

ThreadSerialQueue::ThreadSerialQueue(std::string label, QueuePriority)
    : label_(std::move(label)), shared_(std::make_shared<Shared>()) {
  shared_->thread = std::thread([shared = shared_] { shared->loop(); });
}

ThreadSerialQueue::~ThreadSerialQueue() {
  bool leave;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->closing = true;
    leave = shared_->thread.get_id() == std::this_thread::get_id() ||
            (shared_->detached && (shared_->busy || !shared_->pending.empty()));
  }
  shared_->wake.notify_one();
  if (leave) {
    shared_->thread.detach();
  } else {
    shared_->thread.join();
  }
}

void ThreadSerialQueue::detach() {
  std::lock_guard lock(shared_->mutex);
  shared_->detached = true;
}

void ThreadSerialQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->pending.push_back(std::move(work));
  }
  shared_->wake.notify_one();
}

}  // namespace tavuno
