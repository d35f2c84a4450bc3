#include "platform/sim/ManualSerialQueue.h"

namespace tavuno {

bool ManualSerialQueue::runOne() {
  if (pending_.empty()) return false;
  auto work = std::move(pending_.front());
  pending_.pop_front();
  work();
  return true;
}

std::size_t ManualSerialQueue::runAll() {
  std::size_t ran = 0;
  while (runOne())
    ++ran;
  return ran;
}

std::shared_ptr<SerialQueue> ManualSerialQueueFactory::makeQueue(std::string label,
                                                                 QueuePriority priority) {
  auto queue = std::make_shared<ManualSerialQueue>(std::move(label), priority);
  queues_.push_back(queue);
  return queue;
}

std::size_t ManualSerialQueueFactory::runAll() {
  std::size_t ran = 0;
  for (bool progress = true; progress;) {
    progress = false;
    // Index loop: running work may make new queues.
    for (std::size_t i = 0; i < queues_.size(); ++i) {
      auto queue = queues_[i];
      std::size_t n = queue->runAll();
      ran += n;
      progress = progress || n > 0;
    }
  }
  return ran;
}

}  // namespace tavuno
