#pragma once

#include <memory>
#include <optional>

#include "base/ports/MainQueue.h"
#include "hal/InputLevelPort.h"
#include "service/ServiceHost.h"

namespace tavuno {

// The default input's level meter. It meters only while a screen shows it
// and follows the default input when that changes. A Bluetooth input is
// never metered unprompted: recording from a headset's microphone switches
// the headset to its call profile and lowers what it plays, so the user
// starts a test, which lasts until the screen is left, the test is stopped,
// the input changes or testDuration passes. A meter that fails is closed and
// shown as unavailable; it is tried again when shown anew or when the input
// changes. Main thread only.
class InputMeterController {
 public:
  static constexpr double testDuration = 30.0;

  // `host` and `main` outlive the controller; without `port` the meter is
  // unavailable whenever shown.
  InputMeterController(ServiceHost& host, MainQueue& main, InputLevelPort* port);
  ~InputMeterController();

  InputMeterController(const InputMeterController&) = delete;
  InputMeterController& operator=(const InputMeterController&) = delete;

  void setShown(bool shown);
  // Starts or stops a test of a Bluetooth input; ignored for other inputs.
  void setTesting(bool testing);
  // The default input or the device list may have changed.
  void follow() { reconcile(); }
  // The latest peak while metering; nothing otherwise. Notices a failed
  // stream (closing it), so it is not const.
  std::optional<float> peak();
  bool open() const { return stream_ != nullptr; }

 private:
  void reconcile();
  void close();
  void endTest();

  ServiceHost& host_;
  MainQueue& main_;
  InputLevelPort* port_;
  std::unique_ptr<InputLevelStream> stream_;
  AudioObjectID streamDevice_ = 0;
  bool shown_ = false;
  // The Bluetooth input under test, and when the test ends.
  AudioObjectID testedDevice_ = 0;
  WorkItemRef testEnd_;
  // The input whose meter failed, not retried until shown anew.
  AudioObjectID failedDevice_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tavuno
