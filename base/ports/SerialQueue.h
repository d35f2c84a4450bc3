#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tavuno {

// How urgent a queue's work is: the render and capture queues of the tap sessions run
// userInteractive, the per-application workers userInitiated. A hint for platforms whose
// threads take one; the Linux queues (ThreadSerialQueue, MainThreadSerialQueue) ignore it.
enum class QueuePriority { userInteractive, userInitiated };

// A serial worker queue: work runs one item at a time, in submission order,
// off the main thread.
class SerialQueue {
 public:
  virtual ~SerialQueue() = default;
  virtual void async(std::function<void()> work) = 0;
  virtual const std::string& label() const = 0;
  // Lets the queue finish on its own: destroying it afterwards never waits
  // for work in progress, which may be blocked on the audio server. That work
  // and what is queued behind it still run, in order, then the queue ends.
  // For quitting; a queue whose destruction never waits has nothing to do.
  virtual void detach() = 0;
};

class SerialQueueFactory {
 public:
  virtual ~SerialQueueFactory() = default;
  virtual std::shared_ptr<SerialQueue> makeQueue(std::string label, QueuePriority priority) = 0;
};

}  // namespace tavuno
