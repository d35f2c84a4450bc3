#include "platform/sim/SimTapPlatform.h"

#include <cmath>
#include <cstring>

namespace tavuno {

namespace {

using Call = SimTapPlatform::Call;

const std::string* stringEntry(const PlainDictionary& dictionary, const char* key) {
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : std::get_if<std::string>(&it->second);
}

const std::vector<PlainDictionary>* listEntry(const DeviceDescription& description,
                                              const char* key) {
  auto it = description.find(key);
  return it == description.end() ? nullptr : std::get_if<std::vector<PlainDictionary>>(&it->second);
}

std::uint64_t raw(IOProcID id) {
  return static_cast<std::uint64_t>(id);
}
std::uint64_t raw(AudioUnitRef unit) {
  return static_cast<std::uint64_t>(unit);
}

template <class T>
OSStatus copyOut(const T& value, std::uint32_t& ioSize, void* outData) {
  if (outData == nullptr || ioSize < sizeof(T)) return status::badPropertySize;
  std::memcpy(outData, &value, sizeof(T));
  ioSize = sizeof(T);
  return status::noError;
}

}  // namespace

SimTapPlatform::SimTapPlatform() : tapFormat_(floatFormat(48000, 2)) {}

AudioObjectID SimTapPlatform::addDevice(Device device) {
  const AudioObjectID id = nextObject_++;
  for (const auto& format : device.outputStreams)
    deviceOutputStreams_[id].push_back(addStream(format, id, false));
  for (const auto& format : device.inputStreams)
    deviceInputStreams_[id].push_back(addStream(format, id, false));
  devices_.emplace(id, std::move(device));
  return id;
}

AudioObjectID SimTapPlatform::addStream(const AudioStreamBasicDescription& format,
                                        AudioObjectID owner, bool fromTap) {
  const AudioObjectID id = nextObject_++;
  streams_.emplace(id, Stream{format, owner, fromTap});
  return id;
}

std::size_t SimTapPlatform::callCount(Call call) const {
  std::size_t n = 0;
  for (const auto& record : calls_)
    n += record.call == call ? 1 : 0;
  return n;
}

std::size_t SimTapPlatform::liveObjectCount() const {
  std::size_t n = 0;
  for (const auto& [id, tap] : taps_)
    n += tap.alive ? 1 : 0;
  for (const auto& [id, aggregate] : aggregates_)
    n += aggregate.alive ? 1 : 0;
  for (const auto& [id, proc] : procs_)
    n += proc.registered ? 1 : 0;
  for (const auto& [id, unit] : units_)
    n += unit.alive ? 1 : 0;
  return n;
}

AudioObjectID SimTapPlatform::unitDevice(AudioUnitRef unit) const {
  auto it = units_.find(unit);
  if (it == units_.end()) return kAudioObjectUnknown;
  auto value = it->second.properties.find({unitProperty::currentDevice, unitScope::global, 0});
  AudioObjectID device = kAudioObjectUnknown;
  if (value != it->second.properties.end() && value->second.size() == sizeof device)
    std::memcpy(&device, value->second.data(), sizeof device);
  return device;
}

std::optional<AudioStreamBasicDescription> SimTapPlatform::unitStreamFormat(
    AudioUnitRef unit) const {
  auto it = units_.find(unit);
  if (it == units_.end()) return std::nullopt;
  auto value = it->second.properties.find({unitProperty::streamFormat, unitScope::input, 0});
  if (value == it->second.properties.end() ||
      value->second.size() != sizeof(AudioStreamBasicDescription))
    return std::nullopt;
  AudioStreamBasicDescription format;
  std::memcpy(&format, value->second.data(), sizeof format);
  return format;
}

OSStatus SimTapPlatform::runIOProc(IOProcID proc, const AudioBufferList* input,
                                   AudioBufferList* output) const {
  auto it = procs_.find(proc);
  if (it == procs_.end() || !it->second.registered || !it->second.running)
    return status::illegalOperation;
  it->second.block(input, output);
  return status::noError;
}

OSStatus SimTapPlatform::render(AudioUnitRef unit, std::uint32_t frames,
                                AudioBufferList* ioData) const {
  auto it = units_.find(unit);
  if (it == units_.end() || !it->second.alive || !it->second.started ||
      it->second.render.proc == nullptr)
    return status::illegalOperation;
  return it->second.render.proc(it->second.render.context, frames, ioData);
}

std::optional<SimTapPlatform::Fault> SimTapPlatform::fault(Call call, std::uint32_t selector,
                                                           std::uint32_t scope) {
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->call != call || (it->selector && *it->selector != selector) ||
        (it->scope && *it->scope != scope))
      continue;
    Fault found = *it;
    if (it->remaining > 0 && --it->remaining == 0) faults_.erase(it);
    return found;
  }
  return std::nullopt;
}

OSStatus SimTapPlatform::record(Call call, std::uint64_t target, OSStatus status,
                                std::uint32_t selector, std::uint32_t scope) {
  calls_.push_back({call, target, selector, scope, status});
  return status;
}

OSStatus SimTapPlatform::createProcessTap(const TapDescription& description,
                                          AudioObjectID& outTap) {
  auto f = fault(Call::createProcessTap);
  if (f && f->status != status::noError) return record(Call::createProcessTap, 0, f->status);
  if (f && f->noResult) {
    outTap = kAudioObjectUnknown;
    return record(Call::createProcessTap, 0, status::noError);
  }
  const AudioObjectID id = nextObject_++;
  taps_.emplace(id, Tap{description, "SIM-TAP-" + std::to_string(id), tapFormat_, true});
  outTap = id;
  return record(Call::createProcessTap, id, status::noError);
}

OSStatus SimTapPlatform::destroyProcessTap(AudioObjectID tap) {
  if (auto f = fault(Call::destroyProcessTap); f && f->status != status::noError)
    return record(Call::destroyProcessTap, tap, f->status);
  auto it = taps_.find(tap);
  if (it == taps_.end() || !it->second.alive)
    return record(Call::destroyProcessTap, tap, status::badObject);
  it->second.alive = false;
  return record(Call::destroyProcessTap, tap, status::noError);
}

OSStatus SimTapPlatform::createAggregateDevice(const DeviceDescription& description,
                                               AudioObjectID& outDevice) {
  auto f = fault(Call::createAggregateDevice);
  if (f && f->status != status::noError) return record(Call::createAggregateDevice, 0, f->status);
  if (f && f->noResult) {
    outDevice = kAudioObjectUnknown;
    return record(Call::createAggregateDevice, 0, status::noError);
  }
  auto uid = description.find("uid");
  if (uid == description.end() || !std::holds_alternative<std::string>(uid->second))
    return record(Call::createAggregateDevice, 0, status::paramError);

  const AudioObjectID id = nextObject_++;
  Aggregate aggregate{description, true, 0, {}, {}};
  auto deviceByUID = [this](const std::string& wanted) -> std::optional<AudioObjectID> {
    for (const auto& [deviceID, device] : devices_)
      if (device.uid == wanted) return deviceID;
    return std::nullopt;
  };
  if (auto master = description.find("master"); master != description.end()) {
    if (auto* text = std::get_if<std::string>(&master->second))
      if (auto deviceID = deviceByUID(*text))
        aggregate.nominalRate = devices_[*deviceID].nominalRate;
  }
  if (const auto* subdevices = listEntry(description, "subdevices")) {
    for (const auto& entry : *subdevices) {
      const std::string* subUID = stringEntry(entry, "uid");
      auto deviceID = subUID ? deviceByUID(*subUID) : std::nullopt;
      if (!deviceID) continue;
      const Device& device = devices_[*deviceID];
      for (const auto& format : device.outputStreams)
        aggregate.outputStreams.push_back(addStream(format, *deviceID, false));
      for (const auto& format : device.inputStreams)
        aggregate.inputStreams.push_back(addStream(format, *deviceID, false));
    }
  }
  if (const auto* tapList = listEntry(description, "taps")) {
    for (const auto& entry : *tapList) {
      const std::string* tapUID = stringEntry(entry, "uid");
      for (const auto& [tapID, tap] : taps_) {
        if (!tap.alive || tapUID == nullptr || tap.uid != *tapUID) continue;
        aggregate.inputStreams.push_back(addStream(tap.format, tapID, true));
        if (aggregate.nominalRate == 0) aggregate.nominalRate = tap.format.mSampleRate;
      }
    }
  }
  aggregates_.emplace(id, std::move(aggregate));
  outDevice = id;
  return record(Call::createAggregateDevice, id, status::noError);
}

OSStatus SimTapPlatform::destroyAggregateDevice(AudioObjectID device) {
  if (auto f = fault(Call::destroyAggregateDevice); f && f->status != status::noError)
    return record(Call::destroyAggregateDevice, device, f->status);
  auto it = aggregates_.find(device);
  if (it == aggregates_.end() || !it->second.alive)
    return record(Call::destroyAggregateDevice, device, status::badObject);
  it->second.alive = false;
  return record(Call::destroyAggregateDevice, device, status::noError);
}

std::optional<std::vector<AudioObjectID>> SimTapPlatform::streamList(AudioObjectID object,
                                                                     std::uint32_t scope) const {
  if (scope != scope::input && scope != scope::output) return std::nullopt;
  const bool input = scope == scope::input;
  if (auto it = aggregates_.find(object); it != aggregates_.end() && it->second.alive)
    return input ? it->second.inputStreams : it->second.outputStreams;
  if (devices_.count(object) != 0) {
    const auto& lists = input ? deviceInputStreams_ : deviceOutputStreams_;
    auto it = lists.find(object);
    return it == lists.end() ? std::vector<AudioObjectID>{} : it->second;
  }
  return std::nullopt;
}

std::optional<AudioStreamBasicDescription> SimTapPlatform::formatOf(AudioObjectID object,
                                                                    std::uint32_t selector) const {
  if (selector == tapSelector::tapFormat) {
    if (auto it = taps_.find(object); it != taps_.end() && it->second.alive)
      return it->second.format;
  } else if (selector == tapSelector::virtualFormat) {
    if (auto it = streams_.find(object); it != streams_.end()) return it->second.format;
  }
  return std::nullopt;
}

std::optional<double> SimTapPlatform::nominalRateOf(AudioObjectID object) const {
  if (auto it = aggregates_.find(object); it != aggregates_.end() && it->second.alive)
    return it->second.nominalRate;
  if (auto it = devices_.find(object); it != devices_.end()) return it->second.nominalRate;
  return std::nullopt;
}

OSStatus SimTapPlatform::getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                             std::uint32_t& outSize) {
  const Call call = Call::getPropertyDataSize;
  if (auto f = fault(call, address.selector, address.scope)) {
    if (f->status != status::noError)
      return record(call, object, f->status, address.selector, address.scope);
    if (f->size) {
      outSize = *f->size;
      return record(call, object, status::noError, address.selector, address.scope);
    }
  }
  std::optional<std::uint32_t> size;
  if (address.selector == tapSelector::streams) {
    if (auto list = streamList(object, address.scope))
      size = static_cast<std::uint32_t>(4 * list->size());
  } else if (address.selector == tapSelector::tapFormat ||
             address.selector == tapSelector::virtualFormat) {
    if (formatOf(object, address.selector)) size = sizeof(AudioStreamBasicDescription);
  } else if (address.selector == tapSelector::nominalSampleRate) {
    if (nominalRateOf(object)) size = sizeof(double);
  }
  if (!size) return record(call, object, status::unknownProperty, address.selector, address.scope);
  outSize = *size;
  return record(call, object, status::noError, address.selector, address.scope);
}

OSStatus SimTapPlatform::getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                         std::uint32_t& ioSize, void* outData) {
  const Call call = Call::getPropertyData;
  auto done = [&](OSStatus s) { return record(call, object, s, address.selector, address.scope); };
  if (auto f = fault(call, address.selector, address.scope); f && f->status != status::noError)
    return done(f->status);
  if (address.selector == tapSelector::streams) {
    auto list = streamList(object, address.scope);
    if (!list) return done(status::unknownProperty);
    if (outData == nullptr) return done(status::badPropertySize);
    const std::size_t count = std::min<std::size_t>(ioSize / 4, list->size());
    std::memcpy(outData, list->data(), 4 * count);
    ioSize = static_cast<std::uint32_t>(4 * count);
    return done(status::noError);
  }
  if (address.selector == tapSelector::tapFormat ||
      address.selector == tapSelector::virtualFormat) {
    auto format = formatOf(object, address.selector);
    return done(format ? copyOut(*format, ioSize, outData) : status::unknownProperty);
  }
  if (address.selector == tapSelector::nominalSampleRate) {
    auto rate = nominalRateOf(object);
    return done(rate ? copyOut(*rate, ioSize, outData) : status::unknownProperty);
  }
  return done(status::unknownProperty);
}

OSStatus SimTapPlatform::setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                         std::uint32_t size, const void* data) {
  const Call call = Call::setPropertyData;
  auto done = [&](OSStatus s) { return record(call, object, s, address.selector, address.scope); };
  if (auto f = fault(call, address.selector, address.scope); f && f->status != status::noError)
    return done(f->status);
  if (address.selector != tapSelector::nominalSampleRate || !nominalRateOf(object))
    return done(status::unknownProperty);
  double rate = 0;
  if (size != sizeof rate || data == nullptr) return done(status::badPropertySize);
  std::memcpy(&rate, data, sizeof rate);
  if (!std::isfinite(rate) || rate <= 0) return done(status::illegalOperation);
  if (auto it = aggregates_.find(object); it != aggregates_.end()) {
    it->second.nominalRate = rate;
    for (const auto& list : {it->second.inputStreams, it->second.outputStreams})
      for (AudioObjectID stream : list)
        streams_[stream].format.mSampleRate = rate;
  } else {
    devices_[object].nominalRate = rate;
  }
  return done(status::noError);
}

OSStatus SimTapPlatform::getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                           std::optional<std::string>& outValue) {
  const Call call = Call::getStringProperty;
  auto done = [&](OSStatus s) { return record(call, object, s, address.selector, address.scope); };
  if (auto f = fault(call, address.selector, address.scope)) {
    if (f->status != status::noError) return done(f->status);
    if (f->noResult) {
      outValue.reset();
      return done(status::noError);
    }
  }
  if (address.selector == tapSelector::tapUID) {
    auto it = taps_.find(object);
    if (it == taps_.end() || !it->second.alive) return done(status::badObject);
    outValue = it->second.uid;
    return done(status::noError);
  }
  if (address.selector == selector::deviceUID) {
    if (auto it = devices_.find(object); it != devices_.end()) {
      outValue = it->second.uid;
      return done(status::noError);
    }
  }
  return done(status::unknownProperty);
}

OSStatus SimTapPlatform::createIOProcID(AudioObjectID device, std::shared_ptr<SerialQueue> queue,
                                        IOBlock block, IOProcID& outProc) {
  auto f = fault(Call::createIOProcID);
  if (f && f->status != status::noError) return record(Call::createIOProcID, device, f->status);
  if (f && f->noResult) {
    outProc = IOProcID::none;
    return record(Call::createIOProcID, device, status::noError);
  }
  auto aggregate = aggregates_.find(device);
  const bool known =
      (aggregate != aggregates_.end() && aggregate->second.alive) || devices_.count(device) != 0;
  if (!known || !block) return record(Call::createIOProcID, device, status::badObject);
  const auto id = static_cast<IOProcID>(nextProc_++);
  procs_.emplace(id, IOProc{device, std::move(queue), std::move(block), true, false});
  outProc = id;
  return record(Call::createIOProcID, raw(id), status::noError);
}

OSStatus SimTapPlatform::destroyIOProcID(AudioObjectID device, IOProcID proc) {
  if (auto f = fault(Call::destroyIOProcID); f && f->status != status::noError)
    return record(Call::destroyIOProcID, raw(proc), f->status);
  auto it = procs_.find(proc);
  if (it == procs_.end() || !it->second.registered || it->second.device != device)
    return record(Call::destroyIOProcID, raw(proc), status::badObject);
  it->second.registered = false;
  it->second.running = false;
  it->second.block = nullptr;  // releases what the callback captured, as the platform would
  it->second.queue.reset();
  return record(Call::destroyIOProcID, raw(proc), status::noError);
}

OSStatus SimTapPlatform::deviceStart(AudioObjectID device, IOProcID proc) {
  if (auto f = fault(Call::deviceStart); f && f->status != status::noError)
    return record(Call::deviceStart, raw(proc), f->status);
  auto it = procs_.find(proc);
  if (it == procs_.end() || !it->second.registered || it->second.device != device)
    return record(Call::deviceStart, raw(proc), status::badObject);
  it->second.running = true;
  return record(Call::deviceStart, raw(proc), status::noError);
}

OSStatus SimTapPlatform::deviceStop(AudioObjectID device, IOProcID proc) {
  if (auto f = fault(Call::deviceStop); f && f->status != status::noError)
    return record(Call::deviceStop, raw(proc), f->status);
  auto it = procs_.find(proc);
  if (it == procs_.end() || !it->second.registered || it->second.device != device)
    return record(Call::deviceStop, raw(proc), status::badObject);
  it->second.running = false;
  return record(Call::deviceStop, raw(proc), status::noError);
}

OSStatus SimTapPlatform::findNextComponent(AudioComponentRef previous,
                                           const ComponentDescription& description,
                                           AudioComponentRef& outComponent) {
  auto f = fault(Call::findNextComponent);
  if (f && f->status != status::noError) return record(Call::findNextComponent, 0, f->status);
  const ComponentDescription halOutput{.componentType = unitComponent::typeOutput,
                                       .componentSubType = unitComponent::subTypeHalOutput,
                                       .componentManufacturer = unitComponent::manufacturerSystem};
  const bool match =
      !(f && f->noResult) && previous == AudioComponentRef::none && description == halOutput;
  outComponent = match ? halOutputComponent : AudioComponentRef::none;
  return record(Call::findNextComponent, static_cast<std::uint64_t>(outComponent), status::noError);
}

OSStatus SimTapPlatform::newComponentInstance(AudioComponentRef component, AudioUnitRef& outUnit) {
  auto f = fault(Call::newComponentInstance);
  if (f && f->status != status::noError) return record(Call::newComponentInstance, 0, f->status);
  if (f && f->noResult) {
    outUnit = AudioUnitRef::none;
    return record(Call::newComponentInstance, 0, status::noError);
  }
  if (component != halOutputComponent)
    return record(Call::newComponentInstance, 0, status::badObject);
  const auto id = static_cast<AudioUnitRef>(nextUnit_++);
  Unit unit;
  const std::uint32_t on = 1;
  // Both sides start enabled, so that a session that forgets to switch the input off sees it.
  for (auto key : {std::tuple{unitProperty::enableIO, unitScope::input, 1u},
                   std::tuple{unitProperty::enableIO, unitScope::output, 0u}})
    unit.properties[key] = std::vector<std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(&on), reinterpret_cast<const std::uint8_t*>(&on) + 4);
  units_.emplace(id, std::move(unit));
  outUnit = id;
  return record(Call::newComponentInstance, raw(id), status::noError);
}

SimTapPlatform::Unit* SimTapPlatform::liveUnit(AudioUnitRef unit) {
  auto it = units_.find(unit);
  return it == units_.end() || !it->second.alive ? nullptr : &it->second;
}

OSStatus SimTapPlatform::disposeComponentInstance(AudioUnitRef unit) {
  if (auto f = fault(Call::disposeComponentInstance); f && f->status != status::noError)
    return record(Call::disposeComponentInstance, raw(unit), f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return record(Call::disposeComponentInstance, raw(unit), status::badObject);
  *u = Unit{.alive = false, .properties = std::move(u->properties)};
  return record(Call::disposeComponentInstance, raw(unit), status::noError);
}

OSStatus SimTapPlatform::setUnitProperty(AudioUnitRef unit, std::uint32_t property,
                                         std::uint32_t scope, std::uint32_t element,
                                         const void* data, std::uint32_t size) {
  const Call call = Call::setUnitProperty;
  auto done = [&](OSStatus s) { return record(call, raw(unit), s, property, scope); };
  if (auto f = fault(call, property, scope); f && f->status != status::noError)
    return done(f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return done(status::badObject);
  if (data == nullptr || size == 0) return done(status::paramError);
  if (property == unitProperty::enableIO && scope == unitScope::input &&
      unitBehaviour_.inputStaysEnabled)
    return done(status::noError);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  u->properties[{property, scope, element}] = std::vector<std::uint8_t>(bytes, bytes + size);
  return done(status::noError);
}

OSStatus SimTapPlatform::getUnitProperty(AudioUnitRef unit, std::uint32_t property,
                                         std::uint32_t scope, std::uint32_t element, void* outData,
                                         std::uint32_t& ioSize) {
  const Call call = Call::getUnitProperty;
  auto done = [&](OSStatus s) { return record(call, raw(unit), s, property, scope); };
  if (auto f = fault(call, property, scope); f && f->status != status::noError)
    return done(f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return done(status::badObject);
  if (property == unitProperty::streamFormat && scope == unitScope::input && element == 0 &&
      unitBehaviour_.acceptedFormat)
    return done(copyOut(*unitBehaviour_.acceptedFormat, ioSize, outData));
  auto it = u->properties.find({property, scope, element});
  if (it == u->properties.end()) return done(status::unknownProperty);
  if (outData == nullptr || ioSize < it->second.size()) return done(status::badPropertySize);
  std::memcpy(outData, it->second.data(), it->second.size());
  ioSize = static_cast<std::uint32_t>(it->second.size());
  return done(status::noError);
}

OSStatus SimTapPlatform::setRenderCallback(AudioUnitRef unit, std::uint32_t scope,
                                           std::uint32_t /*element*/,
                                           const RenderCallback& callback) {
  const Call call = Call::setRenderCallback;
  auto done = [&](OSStatus s) {
    return record(call, raw(unit), s, unitProperty::setRenderCallback, scope);
  };
  if (auto f = fault(call, unitProperty::setRenderCallback, scope);
      f && f->status != status::noError)
    return done(f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return done(status::badObject);
  u->render = callback;
  return done(status::noError);
}

OSStatus SimTapPlatform::initializeUnit(AudioUnitRef unit) {
  if (auto f = fault(Call::initializeUnit); f && f->status != status::noError)
    return record(Call::initializeUnit, raw(unit), f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return record(Call::initializeUnit, raw(unit), status::badObject);
  u->initialized = true;
  return record(Call::initializeUnit, raw(unit), status::noError);
}

OSStatus SimTapPlatform::uninitializeUnit(AudioUnitRef unit) {
  if (auto f = fault(Call::uninitializeUnit); f && f->status != status::noError)
    return record(Call::uninitializeUnit, raw(unit), f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return record(Call::uninitializeUnit, raw(unit), status::badObject);
  u->initialized = false;
  return record(Call::uninitializeUnit, raw(unit), status::noError);
}

OSStatus SimTapPlatform::startOutputUnit(AudioUnitRef unit) {
  if (auto f = fault(Call::startOutputUnit); f && f->status != status::noError)
    return record(Call::startOutputUnit, raw(unit), f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr || !u->initialized)
    return record(Call::startOutputUnit, raw(unit), status::illegalOperation);
  u->started = true;
  return record(Call::startOutputUnit, raw(unit), status::noError);
}

OSStatus SimTapPlatform::stopOutputUnit(AudioUnitRef unit) {
  if (auto f = fault(Call::stopOutputUnit); f && f->status != status::noError)
    return record(Call::stopOutputUnit, raw(unit), f->status);
  Unit* u = liveUnit(unit);
  if (u == nullptr) return record(Call::stopOutputUnit, raw(unit), status::badObject);
  u->started = false;
  return record(Call::stopOutputUnit, raw(unit), status::noError);
}

}  // namespace tavuno
