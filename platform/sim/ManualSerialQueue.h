#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/ports/SerialQueue.h"

namespace tavuno {

// A worker queue that runs nothing by itself: the test drains it step by
// step, so every interleaving with the main queue is chosen by the test.
class ManualSerialQueue : public SerialQueue {
 public:
  ManualSerialQueue(std::string label, QueuePriority priority)
      : label_(std::move(label)), priority_(priority) {}

  void async(std::function<void()> work) override { pending_.push_back(std::move(work)); }
  const std::string& label() const override { return label_; }
  // The test drains the queue; destroying it never waits.
  void detach() override {}
  QueuePriority priority() const { return priority_; }

  std::size_t pendingCount() const { return pending_.size(); }
  // Runs the oldest item; false when there was none.
  bool runOne();
  // Runs items (including ones they submit) until the queue is empty.
  std::size_t runAll();

 private:
  std::string label_;
  QueuePriority priority_;
  std::deque<std::function<void()>> pending_;
};

class ManualSerialQueueFactory : public SerialQueueFactory {
 public:
  std::shared_ptr<SerialQueue> makeQueue(std::string label, QueuePriority priority) override;

  const std::vector<std::shared_ptr<ManualSerialQueue>>& queues() const { return queues_; }
  // Drains every queue made so far until all are empty.
  std::size_t runAll();

 private:
  std::vector<std::shared_ptr<ManualSerialQueue>> queues_;
};

}  // namespace tavuno
