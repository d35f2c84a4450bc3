#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/AudioDevice.h"
#include "core/Observers.h"
#include "core/ServiceState.h"
#include "core/hal/Hal.h"
#include "core/ports/DefaultsStore.h"
#include "core/ports/MainQueue.h"
#include "core/ports/SerialQueue.h"
#include "core/ports/WallClock.h"

namespace tavuno {

// The outside world as the service sees it.
struct ServicePorts {
  DefaultsStore& defaults;
  MainQueue& main;
  Hal& hal;
  SerialQueueFactory& workers;
};

// Choices fixed at construction; the application uses the defaults.
struct ServiceOptions {
  bool startTimer = true;
  WallClock now = systemWallClock();
  bool allowVirtualDuplex = true;
  std::function<std::int32_t(std::int32_t)> duplexCleanupResult = [](std::int32_t s) { return s; };
  std::function<std::int32_t(std::int32_t)> standardCleanupResult = [](std::int32_t s) {
    return s;
  };
  std::function<bool(const AudioDevice&)> deviceVisible = [](const AudioDevice&) { return true; };
  std::function<AudioObjectID(const AudioDevice&)> sessionDeviceID = [](const AudioDevice& d) {
    return d.id;
  };
  std::optional<double> virtualCaptureRateOverride;
};

// The one central object: holds what the screens show, keeps it in step with
// the system through the refresh cycle, and offers the operations the screens
// call. Main thread only. Made through create() because every timer and
// delayed callback holds it weakly.
class AudioService : public std::enable_shared_from_this<AudioService> {
 public:
  static constexpr double refreshInterval = 2.0;
  static constexpr double refreshDebounce = 0.05;

  static std::shared_ptr<AudioService> create(ServicePorts ports, ServiceOptions options = {});
  ~AudioService();

  AudioService(const AudioService&) = delete;
  AudioService& operator=(const AudioService&) = delete;

  const ServiceState& state() const { return state_; }
  [[nodiscard]] Observers<ServiceField>::Subscription observe(
      std::function<void(ServiceField)> callback) {
    return observers_.subscribe(std::move(callback));
  }

  // Re-reads the system and reconciles everything derived from it.
  void refresh();
  // A refresh 0.05 s after the last of a burst of calls.
  void scheduleAudioRefresh();

  // The one message shown to the user. Any assignment also forgets who owns a
  // stalled-start warning and which automation error it was.
  void setError(std::optional<std::string> message);
  // Shows the translation of `key` (filled with `code` when given) and
  // remembers the key and code, so an automation can record what failed.
  // Callers pass keys marked with textKey().
  void profileError(const char* key, std::optional<std::int32_t> code = std::nullopt);
  const std::optional<std::string>& stalledWarningOwner() const { return stalledWarningOwner_; }
  const std::optional<std::string>& automationErrorKey() const { return automationErrorKey_; }
  const std::optional<std::int32_t>& automationErrorCode() const { return automationErrorCode_; }

  const StringMap& scheduleLastFired() const { return scheduleLastFired_; }
  std::uint64_t refreshCount() const { return refreshCount_; }

 private:
  struct Private {};

 public:
  AudioService(Private, ServicePorts ports, ServiceOptions options);

 private:
  void construct(bool startTimer);

  // Refresh steps, in their order.
  void refreshDevices();
  void refreshDefaults();
  void refreshVolume();
  void updateOutputListeners();
  void refreshMute();
  void ensureDefaultProfile();
  void refreshApplicationSessions();
  void refreshRunningApps();
  void detectLaunches();
  void detectTopologyChange();
  void observeSystemAudio();
  void captureDueSchedules();

  void installSystemListeners();
  void removeAllListeners();

  // Assigns a published field and tells observers when it changed.
  template <class T>
  void publish(ServiceField field, T ServiceState::*member, T value) {
    if (state_.*member == value) return;
    state_.*member = std::move(value);
    observers_.notify(field);
  }

  ServicePorts ports_;
  ServiceOptions options_;
  ServiceState state_;
  Observers<ServiceField> observers_;

  std::optional<std::string> stalledWarningOwner_;
  std::optional<std::string> automationErrorKey_;
  std::optional<std::int32_t> automationErrorCode_;
  StringMap scheduleLastFired_;

  WorkItemRef refreshWork_;
  WorkItemRef timer_;
  std::uint64_t refreshCount_ = 0;
};

}  // namespace tavuno
