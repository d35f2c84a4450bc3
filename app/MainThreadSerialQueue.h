#pragma once

#include "base/ports/MainQueue.h"
#include "base/ports/SerialQueue.h"

namespace tavuno {

// "Worker" queues that run their work on the main queue, in order. For the
// demo scene, whose simulated audio platform is single-threaded: a session
// is built where the simulated audio callbacks run, and a synchronous hop
// from such a worker runs inline. Once the main queue is closed, work runs at
// once instead.
class MainThreadSerialQueueFactory : public SerialQueueFactory {
 public:
  explicit MainThreadSerialQueueFactory(MainQueue& main) : main_(main) {}
  std::shared_ptr<SerialQueue> makeQueue(std::string label, QueuePriority priority) override;

 private:
  MainQueue& main_;
};

}  // namespace tavuno
