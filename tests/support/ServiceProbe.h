#pragma once

#include "hal/HalReaders.h"
#include "service/AudioService.h"

namespace tavuno {

// What the tests read of the service's inner workings, and the few steps
// they drive directly; not part of what a screen or a script may call.
struct ServiceProbe {
  static const auto& volumeElements(const AudioService& s) { return s.volume_->volumeElements_; }
  static const auto& channelVolumes(const AudioService& s) { return s.volume_->channelVolumes_; }
  static const auto& lastAudibleRatios(const AudioService& s) {
    return s.volume_->lastAudibleRatios_;
  }
  static AudioObjectID volumeDevice(const AudioService& s) { return s.volume_->volumeDevice_; }
  static const auto& pendingConnections(const AudioService& s) {
    return s.automations_->pendingConnections_;
  }
  static const auto& lastTopology(const AudioService& s) { return s.devices_->lastTopology_; }
  static std::size_t listenerCount(const AudioService& s) {
    return s.devices_->listenerCount() + s.volume_->listenerCount() +
           s.inputVolume_->listenerCount() + s.processListeners_.size();
  }
  static std::uint64_t automationPasses(const AudioService& s) { return s.automations_->passes_; }
  static const auto& scheduleLastFired(const AudioService& s) {
    return s.automations_->scheduleLastFired_;
  }
  static std::uint64_t refreshCount(const AudioService& s) { return s.refreshCount_; }
  static const auto& pendingLaunches(const AudioService& s) {
    return s.automations_->pendingLaunches_;
  }
  static const auto& scheduleQueue(const AudioService& s) { return s.automations_->scheduleQueue_; }
  static const auto& stalledWarningOwner(const AudioService& s) { return s.stalledWarningOwner_; }
  static const auto& automationErrorKey(const AudioService& s) { return s.automationErrorKey_; }
  static const auto& automationErrorCode(const AudioService& s) { return s.automationErrorCode_; }

  static auto processOutputDevices(AudioService& s, AudioObjectID process) {
    return s.processOutputDevices(process);
  }
  static std::uint32_t outputChannelCount(AudioService& s, AudioObjectID device) {
    return readOutputChannelCount(s.ports_.hal, device);
  }
  static void profileError(AudioService& s, const char* key,
                           std::optional<std::int32_t> code = std::nullopt) {
    s.profileError(key, code);
  }
  static void applyConnectionRules(AudioService& s) { s.automations_->applyRules(); }
};

}  // namespace tavuno
