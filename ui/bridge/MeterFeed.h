#pragma once

#include <map>
#include <string>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "ui/model/MeterBallistics.h"

namespace tavuno::ui {

class ServiceBridge;

// The level meters' clock: while at least one meter is on screen it reads
// every controlled application's output peak about 25 times a second and
// applies the fall-off; while none is, nothing is read and no timer runs.
class MeterFeed : public QObject {
  Q_OBJECT

 public:
  static constexpr int intervalMs = 40;

  explicit MeterFeed(ServiceBridge& bridge, QObject* parent = nullptr);

  // A screen with meters became visible (acquire) or hidden (release).
  void acquire();
  void release();
  bool running() const { return timer_.isActive(); }

  // The display level 0...1 of an application; 0 when not controlled.
  double level(const std::string& id) const;
  // One reading now (the timer's tick).
  void sample();

 signals:
  void levelsChanged();

 private:
  ServiceBridge& bridge_;
  QTimer timer_;
  QElapsedTimer clock_;
  int users_ = 0;
  std::map<std::string, MeterBallistics> meters_;
};

}  // namespace tavuno::ui
