// Hardware listeners, writes that fail late, the device topology, the
// deferred policy step and automatic switching to the preferred devices.
#include <algorithm>

#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"
#include "devices/DevicePreferences.h"
#include "devices/HeadsetPair.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"
#include "system/NotificationPolicy.h"

namespace tavuno {

void AudioService::addListener(std::vector<Listener>& list, AudioObjectID object,
                               const PropertyAddress& address) {
  std::weak_ptr<AudioService> weak = weak_from_this();
  ListenerToken token = 0;
  OSStatus result = ports_.hal.addPropertyListener(
      object, address,
      [weak](std::uint32_t, const PropertyAddress*) {
        if (auto self = weak.lock()) self->scheduleAudioRefresh();
      },
      token);
  // A registration that failed is dropped: the 2 s refresh still catches up.
  if (result == status::noError) list.push_back(Listener{object, address, token});
}

void AudioService::removeListeners(std::vector<Listener>& list) {
  for (const auto& listener : list)
    ports_.hal.removePropertyListener(listener.object, listener.address, listener.token);
  list.clear();
}

void AudioService::removeAllListeners() {
  removeListeners(systemListeners_);
  removeListeners(outputListeners_);
  removeListeners(processListeners_);
}

void AudioService::installSystemListeners() {
  for (auto selector :
       {selector::devices, selector::defaultInputDevice, selector::defaultOutputDevice})
    addListener(systemListeners_, kAudioObjectSystemObject, globalAddress(selector));
  systemListenersInstalled_ = true;
  followProcessList();
}

void AudioService::followProcessList() {
  removeListeners(processListeners_);
  if (perAppAudioSupported_)
    addListener(processListeners_, kAudioObjectSystemObject,
                globalAddress(selector::processObjectList));
}

void AudioService::updateOutputListeners() {
  const AudioObjectID output = state_.defaultOutput;
  if (listenerOutput_ == output && listenerElements_ == volumeElements_) return;
  removeListeners(outputListeners_);
  listenerOutput_ = output;
  listenerElements_ = volumeElements_;
  if (output == 0) return;

  std::vector<std::uint32_t> elements{kElementMain};
  for (std::uint32_t element : volumeElements_)
    if (std::find(elements.begin(), elements.end(), element) == elements.end())
      elements.push_back(element);
  for (std::uint32_t element : elements)
    addListener(outputListeners_, output, {selector::volumeScalar, scope::output, element});
  addListener(outputListeners_, output, {selector::mute, scope::output, kElementMain});
}

void AudioService::showDeferredWriteFailure(const PropertyAddress& address, OSStatus status) {
  // The same words as when the write fails at once.
  switch (address.selector) {
    case selector::defaultInputDevice:
    case selector::defaultOutputDevice:
      profileError(textKey("Não foi possível alterar o dispositivo (erro %d)."), status);
      break;
    case selector::volumeScalar:
      profileError(textKey("Não foi possível alterar todos os canais (erro %d)."), status);
      break;
    case selector::mute:
      profileError(textKey("Não foi possível alterar o silêncio (erro %d)."), status);
      break;
    default:
      break;
  }
  // Until now the state showed the value written: read the hardware again.
  refresh();
}

void AudioService::detectTopologyChange() {
  const std::string topology = deviceTopology(state_.devices);
  std::set<std::string> uids = deviceUIDs(state_.devices);
  // Announced before the baseline moves on; nothing for the first look.
  if (options_.notifications) {
    if (auto message = NotificationPolicy::message(
            state_.notificationsEnabled, lastTopology_.empty() ? nullptr : &lastUIDs_, uids))
      options_.notifications->post(*message);
  }
  if (!lastTopology_.empty() && lastTopology_ != topology) {
    for (const auto& uid : uids)
      if (!lastUIDs_.count(uid)) pendingConnections_.insert(uid);
    schedulePolicy(true);
  }
  lastUIDs_ = std::move(uids);
  lastTopology_ = topology;
}

void AudioService::setNotificationsEnabled(bool enabled) {
  std::weak_ptr<AudioService> weak = weak_from_this();
  auto settle = [weak](NotificationAnswer answer) {
    auto self = weak.lock();
    if (!self) return;
    const bool on = answer == NotificationAnswer::granted;
    self->publish(ServiceField::notificationsEnabled, &ServiceState::notificationsEnabled, on);
    self->ports_.defaults.set(key::notificationsEnabled, on);
    if (answer == NotificationAnswer::refused) self->setError(NotificationPolicy::refusedMessage());
  };
  if (!options_.notifications) {
    settle(enabled ? NotificationAnswer::refused : NotificationAnswer::switchedOff);
    return;
  }
  notificationRequests_.request(enabled, *options_.notifications, settle);
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
  if (needed) applyPolicy();
  runAutomations();
}

void AudioService::applyPolicy() {
  if (!state_.automatic) return;
  if (auto input = DevicePolicy::target(state_.devices, state_.preferredInputUID, state_.automatic,
                                        Direction::input, state_.defaultInput);
      input && input->id != state_.defaultInput)
    writeDefault(input->id, true);
  // The input step's failure does not stop the output step; its values are
  // read again after the input step's refresh.
  if (auto output = DevicePolicy::target(state_.devices, state_.preferredUID, state_.automatic,
                                         Direction::output, state_.defaultOutput);
      output && output->id != state_.defaultOutput)
    writeDefault(output->id, false);
}

void AudioService::persistPreferences() {
  DevicePreferences{state_.preferredInputUID, state_.preferredUID, state_.automatic}.save(
      ports_.defaults);
  schedulePolicy(true);
}

void AudioService::setPreferredUID(std::string uid) {
  publish(ServiceField::preferredUID, &ServiceState::preferredUID, std::move(uid));
  persistPreferences();
}

void AudioService::setPreferredInputUID(std::string uid) {
  publish(ServiceField::preferredInputUID, &ServiceState::preferredInputUID, std::move(uid));
  persistPreferences();
}

void AudioService::setAutomatic(bool automatic) {
  publish(ServiceField::automatic, &ServiceState::automatic, automatic);
  persistPreferences();
}

void AudioService::useBoth(const AudioDevice& device) {
  if (!device.input || !device.output) return;
  setPreferredInputUID(device.uid);
  setPreferredUID(device.uid);
  if (!writeDefault(device.id, true)) return;
  if (!writeDefault(device.id, false))
    profileError(textKey("A entrada foi alterada, mas não foi possível alterar a saída."));
}

void AudioService::setPreferredOutput(const std::string& uid) {
  setPreferredUID(uid);
  auto it = std::find_if(state_.devices.begin(), state_.devices.end(),
                         [&](const AudioDevice& d) { return d.uid == uid; });
  if (it == state_.devices.end()) return;
  if (auto input = HeadsetPair::inputUID(*it, state_.devices)) setPreferredInputUID(*input);
}

}  // namespace tavuno
