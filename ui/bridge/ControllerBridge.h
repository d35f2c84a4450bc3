#pragma once

#include <memory>

#include <QObject>

namespace tavuno::ui {

// A controller of the system layer (the global shortcut, the login item) as
// the screens see it: its observer only queues one `changed` per turn of the
// event loop, so no screen code runs inside the controller and a burst of
// field changes renders once. The controller must outlive the bridge.
class ControllerBridge : public QObject {
  Q_OBJECT

 public:
  template <class Controller>
  explicit ControllerBridge(Controller& controller, QObject* parent = nullptr) : QObject(parent) {
    using Subscription = decltype(controller.observe(nullptr));
    subscription_ = std::make_shared<Subscription>(controller.observe([this](auto) { mark(); }));
  }

 signals:
  void changed();

 private:
  void mark();
  void flush();

  std::shared_ptr<void> subscription_;
  bool flushQueued_ = false;
};

}  // namespace tavuno::ui
