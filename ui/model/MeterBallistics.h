#pragma once

namespace tavuno {

// Turns the peaks read from a session into what a level meter draws: a
// level 0...1 on a decibel scale (-60 dB to 0 dB) that jumps up at once and
// falls back smoothly, so a meter read at ~25 Hz neither flickers nor hangs.
class MeterBallistics {
 public:
  static constexpr double floorDecibels = -60.0;
  // Full scale to silence in about half a second.
  static constexpr double fallPerSecond = 2.0;

  // A linear peak (any float; NaN and negative count as silence) on the
  // display scale.
  static double scaled(float peak);

  // Takes the latest peak read at `now` (seconds) and returns the level.
  double update(float peak, double now);
  double level() const { return level_; }

 private:
  double level_ = 0;
  double lastTime_ = 0;
  bool started_ = false;
};

}  // namespace tavuno
