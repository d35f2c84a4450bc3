#include "ui/bridge/ControllerBridge.h"

namespace tavuno::ui {

void ControllerBridge::mark() {
  if (flushQueued_) return;
  flushQueued_ = true;
  QMetaObject::invokeMethod(this, &ControllerBridge::flush, Qt::QueuedConnection);
}

void ControllerBridge::flush() {
  flushQueued_ = false;
  emit changed();
}

}  // namespace tavuno::ui
