#include "ui/bridge/MeterFeed.h"

#include "ui/bridge/ServiceBridge.h"

namespace tavuno::ui {

MeterFeed::MeterFeed(ServiceBridge& bridge, QObject* parent) : QObject(parent), bridge_(bridge) {
  timer_.setInterval(intervalMs);
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &MeterFeed::sample);
  clock_.start();
}

void MeterFeed::acquire() {
  if (users_++ == 0) {
    sample();
    timer_.start();
  }
}

void MeterFeed::release() {
  if (users_ == 0) return;
  if (--users_ == 0) {
    timer_.stop();
    meters_.clear();  // the next showing starts from silence, not a stale level
  }
}

double MeterFeed::level(const std::string& id) const {
  auto it = meters_.find(id);
  return it == meters_.end() ? 0.0 : it->second.level();
}

void MeterFeed::sample() {
  auto service = bridge_.service();
  if (!service) return;
  const double now = static_cast<double>(clock_.elapsed()) / 1000.0;
  const auto& controlled = service->state().controlledApps;
  std::erase_if(meters_, [&](const auto& entry) { return !controlled.count(entry.first); });
  for (const auto& id : controlled)
    meters_[id].update(service->outputPeak(id).value_or(0.0f), now);
  emit levelsChanged();
}

}  // namespace tavuno::ui
