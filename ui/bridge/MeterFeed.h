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
// every controlled application's output peak (and the default input's, while
// its meter is on screen) about 25 times a second and applies the fall-off;
// while none is, nothing is read and no timer runs. The service meters the
// input only while a screen shows it.
class MeterFeed : public QObject {
  Q_OBJECT

 public:
  static constexpr int intervalMs = 40;

  explicit MeterFeed(ServiceBridge& bridge, QObject* parent = nullptr);

  // A screen with meters became visible (acquire) or hidden (release).
  void acquire();
  void release();
  // The same for a screen that shows the default input's meter.
  void acquireInput();
  void releaseInput();
  bool running() const { return timer_.isActive(); }

  // The display level 0...1 of an application; 0 when not controlled.
  double level(const std::string& id) const;
  // The display level 0...1 of the default input; 0 while not metered.
  double inputLevel() const { return input_.level(); }
  // One reading now (the timer's tick).
  void sample();

 signals:
  void levelsChanged();

 private:
  void keepTime();
  void showInput(bool shown);

  ServiceBridge& bridge_;
  QTimer timer_;
  QElapsedTimer clock_;
  int users_ = 0;
  int inputUsers_ = 0;
  std::map<std::string, MeterBallistics> meters_;
  MeterBallistics input_;
};

}  // namespace tavuno::ui
