#include "service/InputMeterController.h"

#include <algorithm>

namespace tavuno {

namespace {

const AudioDevice* deviceOf(const ServiceState& state, AudioObjectID id) {
  auto it = std::find_if(state.devices.begin(), state.devices.end(),
                         [id](const AudioDevice& device) { return device.id == id; });
  return it == state.devices.end() ? nullptr : &*it;
}

}  // namespace

InputMeterController::InputMeterController(ServiceHost& host, MainQueue& main, InputLevelPort* port)
    : host_(host), main_(main), port_(port) {}

InputMeterController::~InputMeterController() {
  if (testEnd_) testEnd_->cancel();
}

void InputMeterController::setShown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  if (!shown) {
    endTest();
    failedDevice_ = 0;
  }
  reconcile();
}

void InputMeterController::setTesting(bool testing) {
  if (!testing) {
    endTest();
    reconcile();
    return;
  }
  const AudioObjectID device = host_.state().defaultInput;
  const AudioDevice* facts = deviceOf(host_.state(), device);
  if (!shown_ || !facts || !isBluetooth(*facts)) return;
  if (testedDevice_ != device) {
    endTest();
    testedDevice_ = device;
    std::weak_ptr<int> alive = alive_;
    testEnd_ = main_.postAfter(testDuration, [this, alive] {
      if (alive.expired()) return;
      testEnd_.reset();
      endTest();
      reconcile();
    });
  }
  failedDevice_ = 0;
  reconcile();
}

void InputMeterController::endTest() {
  testedDevice_ = 0;
  if (testEnd_) testEnd_->cancel();
  testEnd_.reset();
}

std::optional<float> InputMeterController::peak() {
  if (!stream_) return std::nullopt;
  if (stream_->state() == InputLevelStream::State::failed) {
    failedDevice_ = streamDevice_;
    reconcile();
    return std::nullopt;
  }
  const float peak = stream_->peak();
  // Whatever the platform hands over, the meter reads 0...1.
  return peak > 0 ? std::min(peak, 1.0f) : 0.0f;
}

void InputMeterController::close() {
  stream_.reset();
  streamDevice_ = 0;
}

void InputMeterController::reconcile() {
  const ServiceState& state = host_.state();
  const AudioObjectID device = state.defaultInput;
  const AudioDevice* facts = deviceOf(state, device);
  // A test belongs to the input it was started on.
  if (testedDevice_ != 0 && testedDevice_ != device) endTest();
  if (failedDevice_ != 0 && failedDevice_ != device) failedDevice_ = 0;

  InputMeterStatus status = InputMeterStatus::off;
  if (shown_ && device != 0) {
    const bool bluetooth = facts && isBluetooth(*facts);
    if (bluetooth && testedDevice_ != device)
      status = InputMeterStatus::awaitingTest;
    else if (!port_ || failedDevice_ == device)
      status = InputMeterStatus::unavailable;
    else
      status = bluetooth ? InputMeterStatus::testing : InputMeterStatus::live;
  }
  const bool metering = status == InputMeterStatus::live || status == InputMeterStatus::testing;
  if (!metering || streamDevice_ != device) close();
  if (metering && !stream_) {
    stream_ = port_->open(device);
    if (stream_) {
      streamDevice_ = device;
    } else {
      failedDevice_ = device;
      status = InputMeterStatus::unavailable;
    }
  }
  host_.publish(ServiceField::inputMeter, &ServiceState::inputMeter, status);
}

}  // namespace tavuno
