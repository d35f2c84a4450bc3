#include "platform/sim/SimHal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavuno {

namespace {

template <class T>
std::vector<std::uint8_t> bytesOf(const T& value) {
  std::vector<std::uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> bytesOf(const std::vector<AudioObjectID>& ids) {
  std::vector<std::uint8_t> bytes(ids.size() * sizeof(AudioObjectID));
  if (!ids.empty()) std::memcpy(bytes.data(), ids.data(), bytes.size());
  return bytes;
}

std::vector<std::uint8_t> bufferListBytes(const std::vector<std::uint32_t>& channels) {
  std::vector<std::uint8_t> bytes(audioBufferListSize(static_cast<std::uint32_t>(channels.size())));
  std::uint32_t count = static_cast<std::uint32_t>(channels.size());
  std::memcpy(bytes.data(), &count, sizeof count);
  for (std::uint32_t i = 0; i < count; ++i) {
    AudioBuffer buffer{channels[i], 0, nullptr};
    std::memcpy(bytes.data() + audioBufferListSize(i), &buffer, sizeof buffer);
  }
  return bytes;
}

PropertyAddress address(std::uint32_t selector, std::uint32_t scope = scope::global,
                        std::uint32_t element = kElementMain) {
  return {selector, scope, element};
}

}  // namespace

SimHal::SimHal(MainQueue& main) : main_(main) {
  updateList(selector::devices, {});
  updateList(selector::processObjectList, {});
  defineProperty(kAudioObjectSystemObject, address(selector::defaultInputDevice),
                 bytesOf(AudioObjectID{0}), true);
  defineProperty(kAudioObjectSystemObject, address(selector::defaultOutputDevice),
                 bytesOf(AudioObjectID{0}), true);
}

std::optional<OSStatus> SimHal::fault(Operation operation, AudioObjectID object,
                                      const PropertyAddress& where) {
  ++calls_[operation];
  for (auto& f : faults_) {
    if (f.remaining == 0) continue;
    if (f.operation != Operation::any && f.operation != operation) continue;
    if (f.object && *f.object != object) continue;
    if (f.selector && *f.selector != where.selector) continue;
    if (f.scope && *f.scope != where.scope) continue;
    if (f.element && *f.element != where.element) continue;
    if (f.remaining > 0) --f.remaining;
    return f.status;
  }
  return std::nullopt;
}

SimHal::Property* SimHal::find(AudioObjectID object, const PropertyAddress& where) {
  auto it = properties_.find(keyOf(object, where));
  return it == properties_.end() ? nullptr : &it->second;
}

const SimHal::Property* SimHal::find(AudioObjectID object, const PropertyAddress& where) const {
  auto it = properties_.find(keyOf(object, where));
  return it == properties_.end() ? nullptr : &it->second;
}

OSStatus SimHal::getPropertyDataSize(AudioObjectID object, const PropertyAddress& where,
                                     std::uint32_t& outSize) {
  if (auto f = fault(Operation::getSize, object, where)) return *f;
  const Property* property = find(object, where);
  if (!property) return status::unknownProperty;
  if (property->readStatus != status::noError) return property->readStatus;
  outSize = static_cast<std::uint32_t>(property->data.size());
  return status::noError;
}

OSStatus SimHal::getPropertyData(AudioObjectID object, const PropertyAddress& where,
                                 std::uint32_t& ioSize, void* outData) {
  if (auto f = fault(Operation::get, object, where)) return *f;
  const Property* property = find(object, where);
  if (!property) return status::unknownProperty;
  if (property->readStatus != status::noError) return property->readStatus;
  std::size_t n = std::min<std::size_t>(ioSize, property->data.size());
  if (n > 0) std::memcpy(outData, property->data.data(), n);
  ioSize = static_cast<std::uint32_t>(n);
  return status::noError;
}

OSStatus SimHal::setPropertyData(AudioObjectID object, const PropertyAddress& where,
                                 std::uint32_t size, const void* data) {
  std::vector<std::uint8_t> bytes(size);
  if (size > 0) std::memcpy(bytes.data(), data, size);
  auto result = [&]() -> OSStatus {
    if (auto f = fault(Operation::set, object, where)) return *f;
    Property* property = find(object, where);
    if (!property) return status::unknownProperty;
    if (!property->settable) return status::illegalOperation;
    if (bytes.size() != property->data.size()) return status::badPropertySize;
    if (property->writeStatus != status::noError) return property->writeStatus;
    if (object == kAudioObjectSystemObject && (where.selector == selector::defaultInputDevice ||
                                               where.selector == selector::defaultOutputDevice)) {
      AudioObjectID device = 0;
      std::memcpy(&device, bytes.data(), sizeof device);
      auto ids = list(selector::devices);
      if (std::find(ids.begin(), ids.end(), device) == ids.end()) return status::illegalOperation;
      // As on a real server, a default is a device of its direction: an input is never the
      // default output, nor an output the default input.
      const std::uint32_t direction =
          where.selector == selector::defaultOutputDevice ? scope::output : scope::input;
      const Property* streams = find(device, address(selector::streams, direction));
      if (!streams || streams->data.empty()) return status::illegalOperation;
    }
    if (where.selector == selector::volumeScalar) {
      float value = 0;
      std::memcpy(&value, bytes.data(), sizeof value);
      // A value that is not finite is silence, as the Linux Hal sends it.
      bytes = bytesOf(std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f);
    }
    if (where.selector == selector::mute && bytes.size() == sizeof(std::uint32_t)) {
      std::uint32_t value = 0;
      std::memcpy(&value, bytes.data(), sizeof value);
      bytes = bytesOf(std::uint32_t(value != 0));
    }
    store(object, where, bytes);
    return status::noError;
  }();
  writes_.push_back(Write{object, where, std::move(bytes), result});
  return result;
}

bool SimHal::hasProperty(AudioObjectID object, const PropertyAddress& where) {
  if (fault(Operation::has, object, where)) return false;
  return find(object, where) != nullptr;
}

OSStatus SimHal::isPropertySettable(AudioObjectID object, const PropertyAddress& where,
                                    bool& outSettable) {
  if (auto f = fault(Operation::isSettable, object, where)) return *f;
  const Property* property = find(object, where);
  if (!property) return status::unknownProperty;
  outSettable = property->settable;
  return status::noError;
}

OSStatus SimHal::addPropertyListener(AudioObjectID object, const PropertyAddress& where,
                                     PropertyListener listener, ListenerToken& outToken) {
  if (auto f = fault(Operation::addListener, object, where)) return *f;
  if (!listener) return status::paramError;
  outToken = nextToken_++;
  listeners_[keyOf(object, where)].push_back(
      Registration{outToken, std::make_shared<PropertyListener>(std::move(listener))});
  return status::noError;
}

OSStatus SimHal::removePropertyListener(AudioObjectID object, const PropertyAddress& where,
                                        ListenerToken token) {
  if (auto f = fault(Operation::removeListener, object, where)) return *f;
  auto it = listeners_.find(keyOf(object, where));
  if (it == listeners_.end()) return status::illegalOperation;
  auto& registrations = it->second;
  auto match = std::find_if(registrations.begin(), registrations.end(),
                            [token](const Registration& r) { return r.token == token; });
  if (match == registrations.end()) return status::illegalOperation;
  registrations.erase(match);
  if (registrations.empty()) listeners_.erase(it);
  return status::noError;
}

void SimHal::failDeferredWrite(AudioObjectID object, const PropertyAddress& where,
                               OSStatus failure) {
  main_.post([this, object, where, failure] {
    if (deferredFailureHandler_) deferredFailureHandler_(object, where, failure);
  });
}

void SimHal::notify(AudioObjectID object, const PropertyAddress& where) {
  auto it = listeners_.find(keyOf(object, where));
  if (it == listeners_.end()) return;
  for (const auto& registration : it->second) {
    // Held weakly: a listener removed before delivery is not called.
    std::weak_ptr<PropertyListener> weak = registration.listener;
    main_.post([weak, where] {
      if (auto listener = weak.lock()) (*listener)(1, &where);
    });
  }
}

void SimHal::store(AudioObjectID object, const PropertyAddress& where,
                   std::vector<std::uint8_t> data) {
  Property& property = properties_[keyOf(object, where)];
  if (property.data == data) return;
  property.data = std::move(data);
  notify(object, where);
}

void SimHal::defineProperty(AudioObjectID object, const PropertyAddress& where,
                            std::vector<std::uint8_t> data, bool settable, OSStatus readStatus,
                            OSStatus writeStatus) {
  Property& property = properties_[keyOf(object, where)];
  property.settable = settable;
  property.readStatus = readStatus;
  property.writeStatus = writeStatus;
  if (property.data != data) {
    property.data = std::move(data);
    notify(object, where);
  }
}

void SimHal::removeProperty(AudioObjectID object, const PropertyAddress& where) {
  if (properties_.erase(keyOf(object, where)) > 0) notify(object, where);
}

void SimHal::setPropertyStatus(AudioObjectID object, const PropertyAddress& where,
                               OSStatus readStatus, OSStatus writeStatus) {
  if (Property* property = find(object, where)) {
    property->readStatus = readStatus;
    property->writeStatus = writeStatus;
  }
}

std::vector<AudioObjectID> SimHal::list(std::uint32_t selector) const {
  const Property* property = find(kAudioObjectSystemObject, address(selector));
  std::vector<AudioObjectID> ids;
  if (!property) return ids;
  ids.resize(property->data.size() / sizeof(AudioObjectID));
  if (!ids.empty())
    std::memcpy(ids.data(), property->data.data(), ids.size() * sizeof(AudioObjectID));
  return ids;
}

void SimHal::updateList(std::uint32_t selector, const std::vector<AudioObjectID>& ids) {
  store(kAudioObjectSystemObject, address(selector), bytesOf(ids));
}

std::vector<AudioObjectID> SimHal::deviceIDs() const {
  return list(selector::devices);
}

void SimHal::defineControl(AudioObjectID device, std::uint32_t selector, std::uint32_t direction,
                           std::uint32_t element, const SimControl& control) {
  auto data = selector == selector::mute ? bytesOf(std::uint32_t(control.value != 0 ? 1 : 0))
                                         : bytesOf(control.value);
  defineProperty(device, address(selector, direction, element), std::move(data), control.settable,
                 control.readStatus, control.writeStatus);
}

AudioObjectID SimHal::addDevice(const SimDeviceSpec& spec) {
  AudioObjectID id = nextObject_++;
  defineProperty(id, address(selector::transportType), bytesOf(spec.transport));
  defineProperty(id, address(selector::deviceUID), bytesOf(spec.uid));
  defineProperty(id, address(selector::name), bytesOf(spec.name));
  std::vector<AudioObjectID> inputStreams(spec.inputStreams), outputStreams(spec.outputStreams);
  for (auto& s : inputStreams)
    s = nextObject_++;
  for (auto& s : outputStreams)
    s = nextObject_++;
  defineProperty(id, address(selector::streams, scope::input), bytesOf(inputStreams));
  defineProperty(id, address(selector::streams, scope::output), bytesOf(outputStreams));
  std::vector<std::uint32_t> channels = spec.outputChannels;
  if (channels.empty() && spec.outputStreams > 0) channels = {2};
  defineProperty(id, address(selector::streamConfiguration, scope::output),
                 bufferListBytes(channels));
  std::vector<std::uint32_t> inputChannels = spec.inputChannels;
  if (inputChannels.empty() && spec.inputStreams > 0) inputChannels = {2};
  defineProperty(id, address(selector::streamConfiguration, scope::input),
                 bufferListBytes(inputChannels));
  auto controls = [&](std::uint32_t direction, const std::optional<SimControl>& master,
                      const std::vector<std::optional<SimControl>>& perChannel,
                      const std::optional<SimControl>& mute) {
    if (master) defineControl(id, selector::volumeScalar, direction, 0, *master);
    for (std::size_t i = 0; i < perChannel.size(); ++i)
      if (perChannel[i])
        defineControl(id, selector::volumeScalar, direction, static_cast<std::uint32_t>(i + 1),
                      *perChannel[i]);
    if (mute) defineControl(id, selector::mute, direction, 0, *mute);
  };
  controls(scope::output, spec.masterVolume, spec.channelVolumes, spec.mute);
  controls(scope::input, spec.inputMasterVolume, spec.inputChannelVolumes, spec.inputMute);

  auto ids = list(selector::devices);
  ids.push_back(id);
  updateList(selector::devices, ids);
  return id;
}

void SimHal::removeDevice(AudioObjectID device) {
  auto ids = list(selector::devices);
  ids.erase(std::remove(ids.begin(), ids.end(), device), ids.end());
  for (auto it = properties_.begin(); it != properties_.end();) {
    it = std::get<0>(it->first) == device ? properties_.erase(it) : std::next(it);
  }
  updateList(selector::devices, ids);
  if (defaultInput() == device) setDefaultInput(0);
  if (defaultOutput() == device) setDefaultOutput(0);
}

AudioObjectID SimHal::addProcess(const SimProcessSpec& spec) {
  AudioObjectID id = nextObject_++;
  defineProperty(id, address(selector::processPID), bytesOf(spec.pid));
  defineProperty(id, address(selector::processIsRunningOutput),
                 bytesOf(std::uint32_t(spec.runningOutput)));
  defineProperty(id, address(selector::processIsRunningInput),
                 bytesOf(std::uint32_t(spec.runningInput)));
  defineProperty(id, address(selector::processDevices, scope::output), bytesOf(spec.outputDevices));
  auto ids = list(selector::processObjectList);
  ids.push_back(id);
  updateList(selector::processObjectList, ids);
  return id;
}

void SimHal::removeProcess(AudioObjectID process) {
  auto ids = list(selector::processObjectList);
  ids.erase(std::remove(ids.begin(), ids.end(), process), ids.end());
  for (auto it = properties_.begin(); it != properties_.end();) {
    it = std::get<0>(it->first) == process ? properties_.erase(it) : std::next(it);
  }
  updateList(selector::processObjectList, ids);
}

void SimHal::setProcessRunning(AudioObjectID process, bool output, bool input) {
  store(process, address(selector::processIsRunningOutput), bytesOf(std::uint32_t(output)));
  store(process, address(selector::processIsRunningInput), bytesOf(std::uint32_t(input)));
}

void SimHal::setProcessDevices(AudioObjectID process, const std::vector<AudioObjectID>& devices) {
  store(process, address(selector::processDevices, scope::output), bytesOf(devices));
}

void SimHal::setDefaultInput(AudioObjectID device) {
  store(kAudioObjectSystemObject, address(selector::defaultInputDevice), bytesOf(device));
}

void SimHal::setDefaultOutput(AudioObjectID device) {
  store(kAudioObjectSystemObject, address(selector::defaultOutputDevice), bytesOf(device));
}

void SimHal::setVolume(AudioObjectID device, std::uint32_t element, float value,
                       std::uint32_t direction) {
  store(device, address(selector::volumeScalar, direction, element), bytesOf(value));
}

void SimHal::setMuted(AudioObjectID device, bool muted, std::uint32_t direction) {
  store(device, address(selector::mute, direction), bytesOf(std::uint32_t(muted)));
}

void SimHal::setTransport(AudioObjectID device, std::uint32_t transportType) {
  store(device, address(selector::transportType), bytesOf(transportType));
}

AudioObjectID SimHal::defaultInput() const {
  const Property* p = find(kAudioObjectSystemObject, address(selector::defaultInputDevice));
  AudioObjectID id = 0;
  if (p && p->data.size() == sizeof id) std::memcpy(&id, p->data.data(), sizeof id);
  return id;
}

AudioObjectID SimHal::defaultOutput() const {
  const Property* p = find(kAudioObjectSystemObject, address(selector::defaultOutputDevice));
  AudioObjectID id = 0;
  if (p && p->data.size() == sizeof id) std::memcpy(&id, p->data.data(), sizeof id);
  return id;
}

std::optional<float> SimHal::volume(AudioObjectID device, std::uint32_t element,
                                    std::uint32_t direction) const {
  const Property* p = find(device, address(selector::volumeScalar, direction, element));
  if (!p || p->data.size() != sizeof(float)) return std::nullopt;
  float value;
  std::memcpy(&value, p->data.data(), sizeof value);
  return value;
}

std::optional<bool> SimHal::muted(AudioObjectID device, std::uint32_t direction) const {
  const Property* p = find(device, address(selector::mute, direction));
  if (!p || p->data.size() != sizeof(std::uint32_t)) return std::nullopt;
  std::uint32_t value;
  std::memcpy(&value, p->data.data(), sizeof value);
  return value != 0;
}

std::size_t SimHal::listenerCount() const {
  std::size_t n = 0;
  for (const auto& [key, registrations] : listeners_)
    n += registrations.size();
  return n;
}

std::size_t SimHal::listenerCount(AudioObjectID object, const PropertyAddress& where) const {
  auto it = listeners_.find(keyOf(object, where));
  return it == listeners_.end() ? 0 : it->second.size();
}

std::size_t SimHal::callCount(Operation operation) const {
  auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

}  // namespace tavuno
