#pragma once

#include <cstdint>
#include <memory>

#include <QObject>

#include "service/AudioService.h"
namespace tavuno::ui {

class AppIcons;

// The service as the screens see it. The service's observer only marks the
// changed field and queues one flush per turn of the event loop; the flush
// emits `changed` with every field marked since. So a refresh that publishes
// many fields renders once, and no screen code runs inside the service (a
// screen calling an operation from a notice would re-enter it).
//
// Holds the service weakly: once the service is gone, service() is null and
// nothing more is emitted.
class ServiceBridge : public QObject {
  Q_OBJECT

 public:
  explicit ServiceBridge(std::weak_ptr<AudioService> service, QObject* parent = nullptr);

  std::shared_ptr<AudioService> service() const { return service_.lock(); }
  // The published state; an empty one once the service is gone.
  const ServiceState& state() const;
  // The icons of the applications the state names; null: the generic one
  // for every application.
  AppIcons* appIcons() const { return appIcons_; }
  void setAppIcons(AppIcons* icons) { appIcons_ = icons; }

 signals:
  // Bits of fieldBit(ServiceField).
  void changed(quint64 fields);

 private:
  void mark(ServiceField field);
  void flush();

  std::weak_ptr<AudioService> service_;
  Observers<ServiceField>::Subscription subscription_;
  AppIcons* appIcons_ = nullptr;
  quint64 dirty_ = 0;
  bool flushQueued_ = false;
};

}  // namespace tavuno::ui
