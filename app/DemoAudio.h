#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "platform/sim/SimTapPlatform.h"

namespace tavuno {

// Plays the demo applications: every 20 ms of real time it runs each running
// I/O callback of the simulated tap platform once, with the synthetic signal
// of the application whose processes the callback's tap reads. So sessions,
// gains and meters behave as with real audio. Main thread.
class DemoAudio : public QObject {
  Q_OBJECT

 public:
  static constexpr double sampleRate = 48000;
  static constexpr int periodMs = 20;

  // Sample of `channel` at `seconds` since the demo started.
  using Signal = std::function<float(double seconds, std::uint32_t channel)>;

  explicit DemoAudio(SimTapPlatform& platform, QObject* parent = nullptr);

  // The signal of the processes with these process object ids.
  void setSignal(AudioObjectID process, Signal signal) { signals_[process] = std::move(signal); }
  void start() { timer_.start(); }
  void stop() { timer_.stop(); }
  // One period now (the timer's tick); `seconds` is the demo's clock.
  void cycle(double seconds);

 private:
  const Signal* signalOf(AudioObjectID tap) const;

  SimTapPlatform& platform_;
  QTimer timer_;
  QElapsedTimer clock_;
  std::map<AudioObjectID, Signal> signals_;
  std::vector<std::vector<float>> inputs_, outputs_;
  std::vector<std::uint64_t> inputList_, outputList_;
};

}  // namespace tavuno
