#include "service/DeviceDirector.h"

#include <algorithm>

#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"
#include "devices/DevicePolicy.h"
#include "devices/HeadsetPair.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"
#include "system/NotificationPolicy.h"

namespace tavuno {

namespace {

constexpr std::string_view aggregatePrefix = "com.tavuno.aggregate.";

bool hasStreams(Hal& hal, AudioObjectID device, std::uint32_t scope) {
  std::uint32_t size = 0;
  return hal.getPropertyDataSize(device, {selector::streams, scope, kElementMain}, size) ==
             status::noError &&
         size != 0;
}

}  // namespace

DeviceDirector::DeviceDirector(DeviceHost& host, const ServicePorts& ports,
                               const ServiceOptions& options)
    : host_(host), ports_(ports), options_(options), listeners_(ports.hal) {}

void DeviceDirector::load() {
  host_.publish(ServiceField::notificationsEnabled, &ServiceState::notificationsEnabled,
                ports_.defaults.boolean(key::notificationsEnabled).value_or(false));
  auto preferences = DevicePreferences::load(ports_.defaults);
  host_.publish(ServiceField::preferredUID, &ServiceState::preferredUID, preferences.outputUID);
  host_.publish(ServiceField::preferredInputUID, &ServiceState::preferredInputUID,
                preferences.inputUID);
  host_.publish(ServiceField::automatic, &ServiceState::automatic, preferences.automatic);
}

void DeviceDirector::refresh() {
  Hal& hal = ports_.hal;
  std::vector<AudioDevice> visible;
  for (AudioObjectID id :
       readObjectIDs(hal, kAudioObjectSystemObject, globalAddress(selector::devices))) {
    AudioDevice device;
    device.id = id;
    device.transport = readUInt32(hal, id, globalAddress(selector::transportType)).value_or(0);
    device.uid = readString(hal, id, globalAddress(selector::deviceUID));
    device.name = readString(hal, id, globalAddress(selector::name));
    device.input = hasStreams(hal, id, scope::input);
    device.output = hasStreams(hal, id, scope::output);
    device.builtIn = device.transport == transport::builtIn;

    if (device.uid.empty()) continue;
    if (device.uid.starts_with(aggregatePrefix)) continue;
    if (!device.input && !device.output) continue;
    if (!options_.deviceVisible(device)) continue;
    visible.push_back(std::move(device));
  }
  host_.publish(ServiceField::devices, &ServiceState::devices, std::move(visible));

  host_.publish(
      ServiceField::defaultInput, &ServiceState::defaultInput,
      readUInt32(hal, kAudioObjectSystemObject, globalAddress(selector::defaultInputDevice))
          .value_or(0));
  host_.publish(
      ServiceField::defaultOutput, &ServiceState::defaultOutput,
      readUInt32(hal, kAudioObjectSystemObject, globalAddress(selector::defaultOutputDevice))
          .value_or(0));
}

void DeviceDirector::startListening() {
  auto changed = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->host_.scheduleAudioRefresh();
  };
  for (auto selector :
       {selector::devices, selector::defaultInputDevice, selector::defaultOutputDevice})
    listeners_.add(kAudioObjectSystemObject, globalAddress(selector), changed);
}

bool DeviceDirector::setDefault(AudioObjectID id, bool input) {
  const auto selector = input ? selector::defaultInputDevice : selector::defaultOutputDevice;
  OSStatus result = writeUInt32(ports_.hal, kAudioObjectSystemObject, globalAddress(selector), id);
  if (result != status::noError) {
    host_.profileError(textKey("Não foi possível alterar o dispositivo (erro %d)."), result);
    host_.refresh();
    return false;
  }
  host_.refresh();
  host_.keepActiveProfileInStep();
  return true;
}

void DeviceDirector::showDeferredWriteFailure(const PropertyAddress& address, OSStatus status) {
  switch (address.selector) {
    case selector::defaultInputDevice:
    case selector::defaultOutputDevice:
      host_.profileError(textKey("Não foi possível alterar o dispositivo (erro %d)."), status);
      break;
    case selector::volumeScalar:
      host_.profileError(textKey("Não foi possível alterar todos os canais (erro %d)."), status);
      break;
    case selector::mute:
      host_.profileError(textKey("Não foi possível alterar o silêncio (erro %d)."), status);
      break;
    default:
      break;
  }
  // Until now the state showed the value written: read the hardware again.
  host_.refresh();
}

void DeviceDirector::detectTopologyChange() {
  const auto& devices = host_.state().devices;
  const std::string topology = deviceTopology(devices);
  std::set<std::string> uids = deviceUIDs(devices);
  // Announced before the baseline moves on.
  if (options_.notifications) {
    if (auto message = NotificationPolicy::message(
            host_.state().notificationsEnabled, lastTopology_.empty() ? nullptr : &lastUIDs_, uids))
      options_.notifications->post(*message);
  }
  if (!lastTopology_.empty() && lastTopology_ != topology) {
    std::set<std::string> connected;
    for (const auto& uid : uids)
      if (!lastUIDs_.count(uid)) connected.insert(uid);
    host_.devicesChanged(connected);
  }
  lastUIDs_ = std::move(uids);
  lastTopology_ = topology;
}

void DeviceDirector::setNotificationsEnabled(bool enabled) {
  auto settle = [weak = weak_from_this()](NotificationAnswer answer) {
    auto self = weak.lock();
    if (!self) return;
    const bool on = answer == NotificationAnswer::granted;
    self->host_.publish(ServiceField::notificationsEnabled, &ServiceState::notificationsEnabled,
                        on);
    self->ports_.defaults.set(key::notificationsEnabled, on);
    if (answer == NotificationAnswer::refused)
      self->host_.setError(NotificationPolicy::refusedMessage());
  };
  if (!options_.notifications) {
    settle(enabled ? NotificationAnswer::refused : NotificationAnswer::switchedOff);
    return;
  }
  notificationRequests_.request(enabled, *options_.notifications, settle);
}

void DeviceDirector::applyPolicy() {
  const ServiceState& state = host_.state();
  if (!state.automatic) return;
  if (auto input = DevicePolicy::target(state.devices, state.preferredInputUID, state.automatic,
                                        Direction::input, state.defaultInput);
      input && input->id != state.defaultInput)
    setDefault(input->id, true);
  // The input step's failure does not stop the output step; its values are
  // read again after the input step's refresh.
  if (auto output = DevicePolicy::target(state.devices, state.preferredUID, state.automatic,
                                         Direction::output, state.defaultOutput);
      output && output->id != state.defaultOutput)
    setDefault(output->id, false);
}

void DeviceDirector::persistPreferences() {
  const ServiceState& state = host_.state();
  DevicePreferences{state.preferredInputUID, state.preferredUID, state.automatic}.save(
      ports_.defaults);
  host_.schedulePolicy(true);
}

void DeviceDirector::setPreferredUID(std::string uid) {
  host_.publish(ServiceField::preferredUID, &ServiceState::preferredUID, std::move(uid));
  persistPreferences();
}

void DeviceDirector::setPreferredInputUID(std::string uid) {
  host_.publish(ServiceField::preferredInputUID, &ServiceState::preferredInputUID, std::move(uid));
  persistPreferences();
}

void DeviceDirector::setAutomatic(bool automatic) {
  host_.publish(ServiceField::automatic, &ServiceState::automatic, automatic);
  persistPreferences();
}

void DeviceDirector::useBoth(const AudioDevice& device) {
  if (!device.input || !device.output) return;
  setPreferredInputUID(device.uid);
  setPreferredUID(device.uid);
  if (!setDefault(device.id, true)) return;
  if (!setDefault(device.id, false))
    host_.profileError(textKey("A entrada foi alterada, mas não foi possível alterar a saída."));
}

void DeviceDirector::setPreferredOutput(const std::string& uid) {
  setPreferredUID(uid);
  const auto& devices = host_.state().devices;
  auto it = std::find_if(devices.begin(), devices.end(),
                         [&](const AudioDevice& d) { return d.uid == uid; });
  if (it == devices.end()) return;
  if (auto input = HeadsetPair::inputUID(*it, devices)) setPreferredInputUID(*input);
}

}  // namespace tavuno
