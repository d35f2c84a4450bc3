// The process list's listener and the deferred policy step.
#include "hal/HalReaders.h"
#include "service/AudioService.h"

namespace tavuno {

void AudioService::removeAllListeners() {
  devices_->stopListening();
  volume_->stopListening();
  inputVolume_->stopListening();
  processListeners_.clear();
}

void AudioService::installSystemListeners() {
  devices_->startListening();
  systemListenersInstalled_ = true;
  followProcessList();
}

void AudioService::followProcessList() {
  processListeners_.clear();
  if (!perAppAudioSupported_) return;
  std::weak_ptr<AudioService> weak = weak_from_this();
  processListeners_.add(kAudioObjectSystemObject, globalAddress(selector::processObjectList),
                        [weak] {
                          if (auto self = weak.lock()) self->scheduleAudioRefresh();
                        });
}

void AudioService::devicesChanged(const std::set<std::string>& connected) {
  automations_->noteConnections(connected);
  schedulePolicy(true);
}

void AudioService::schedulePolicy(bool applyDevices) {
  if (applyDevices) devicePolicyNeeded_ = true;
  if (pending_) pending_->cancel();
  std::weak_ptr<AudioService> weak = weak_from_this();
  pending_ = ports_.main.postAfter(policyDelay, [weak] {
    if (auto self = weak.lock()) self->runDeferredPolicy();
  });
}

void AudioService::runDeferredPolicy() {
  const bool needed = devicePolicyNeeded_;
  devicePolicyNeeded_ = false;
  if (needed) devices_->applyPolicy();
  automations_->run();
}

}  // namespace tavuno
