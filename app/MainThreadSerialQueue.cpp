#include "app/MainThreadSerialQueue.h"

namespace tavuno {

namespace {

class MainThreadSerialQueue : public SerialQueue {
 public:
  MainThreadSerialQueue(MainQueue& main, std::string label)
      : main_(main), label_(std::move(label)) {}
  // Once the main queue is closed (quitting) nothing posted runs any more,
  // so the work runs at once: the sessions' stops when the service goes.
  void async(std::function<void()> work) override {
    if (main_.closed())
      work();
    else
      main_.post(std::move(work));
  }
  const std::string& label() const override { return label_; }
  // Nothing to wait for: the work runs on the main thread.
  void detach() override {}

 private:
  MainQueue& main_;
  std::string label_;
};

}  // namespace

std::shared_ptr<SerialQueue> MainThreadSerialQueueFactory::makeQueue(std::string label,
                                                                     QueuePriority) {
  return std::make_shared<MainThreadSerialQueue>(main_, std::move(label));
}

}  // namespace tavuno
