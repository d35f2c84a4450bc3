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
  ++users_;
  keepTime();
}

void MeterFeed::release() {
  if (users_ == 0) return;
  // The next showing starts from silence, not a stale level.
  if (--users_ == 0) meters_.clear();
  keepTime();
}

void MeterFeed::acquireInput() {
  if (inputUsers_++ == 0) showInput(true);
  keepTime();
}

void MeterFeed::releaseInput() {
  if (inputUsers_ == 0) return;
  if (--inputUsers_ == 0) showInput(false);
  keepTime();
}

void MeterFeed::showInput(bool shown) {
  input_ = {};
  if (auto service = bridge_.service()) service->setInputMeterShown(shown);
}

void MeterFeed::keepTime() {
  const bool wanted = users_ > 0 || inputUsers_ > 0;
  if (wanted && !timer_.isActive()) {
    sample();
    timer_.start();
  } else if (!wanted) {
    timer_.stop();
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
  if (users_ > 0) {
    const auto& controlled = service->state().controlledApps;
    std::erase_if(meters_, [&](const auto& entry) { return !controlled.count(entry.first); });
    for (const auto& id : controlled)
      meters_[id].update(service->outputPeak(id).value_or(0.0f), now);
  }
  if (inputUsers_ > 0) {
    if (auto peak = service->inputPeak())
      input_.update(*peak, now);
    else
      input_ = {};
  }
  emit levelsChanged();
}

}  // namespace tavuno::ui
