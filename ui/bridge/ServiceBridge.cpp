#include "ui/bridge/ServiceBridge.h"

#include "ui/model/ViewTexts.h"

namespace tavuno::ui {

ServiceBridge::ServiceBridge(std::weak_ptr<AudioService> service, QObject* parent)
    : QObject(parent), service_(std::move(service)) {
  if (auto strong = service_.lock())
    subscription_ = strong->observe([this](ServiceField field) { mark(field); });
}

const ServiceState& ServiceBridge::state() const {
  static const ServiceState empty;
  auto strong = service_.lock();
  // The service outlives every use of the reference within one call of a
  // screen; the owner keeps it alive.
  return strong ? strong->state() : empty;
}

void ServiceBridge::mark(ServiceField field) {
  dirty_ |= fieldBit(field);
  if (flushQueued_) return;
  flushQueued_ = true;
  QMetaObject::invokeMethod(this, &ServiceBridge::flush, Qt::QueuedConnection);
}

void ServiceBridge::flush() {
  flushQueued_ = false;
  const quint64 fields = dirty_;
  dirty_ = 0;
  if (fields != 0 && !service_.expired()) emit changed(fields);
}

}  // namespace tavuno::ui
