#include "ui/model/MeterBallistics.h"

#include <algorithm>
#include <cmath>

namespace tavuno {

double MeterBallistics::scaled(float peak) {
  if (!(peak > 0.0f)) return 0.0;  // NaN too
  if (!std::isfinite(peak)) return 1.0;
  const double decibels = 20.0 * std::log10(static_cast<double>(peak));
  return std::clamp((decibels - floorDecibels) / -floorDecibels, 0.0, 1.0);
}

double MeterBallistics::update(float peak, double now) {
  const double target = scaled(peak);
  const double elapsed = started_ ? std::max(0.0, now - lastTime_) : 0.0;
  started_ = true;
  lastTime_ = now;
  level_ = std::max(target, level_ - fallPerSecond * elapsed);
  return level_;
}

}  // namespace tavuno
