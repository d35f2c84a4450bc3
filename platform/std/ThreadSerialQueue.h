#pragma once

#include <memory>

#include "base/ports/SerialQueue.h"

namespace tavuno {

// A serial queue on its own thread. Destruction runs what is already queued,
// then joins; after detach(), or when the last reference goes away on the
// queue's own thread, a thread still busy finishes by itself instead (an
// idle one is still joined: it ends at once).
class ThreadSerialQueue : public SerialQueue {
 public:
  ThreadSerialQueue(std::string label, QueuePriority priority);
  ~ThreadSerialQueue() override;

  void async(std::function<void()> work) override;
  const std::string& label() const override { return label_; }
  void detach() override;

 private:
  struct Shared;
  std::string label_;
  std::shared_ptr<Shared> shared_;
};

class ThreadSerialQueueFactory : public SerialQueueFactory {
 public:
  std::shared_ptr<SerialQueue> makeQueue(std::string label, QueuePriority priority) override {
    return std::make_shared<ThreadSerialQueue>(std::move(label), priority);
  }
};

}  // namespace tavuno
