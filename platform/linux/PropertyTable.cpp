#include "platform/linux/PropertyTable.h"

#include <algorithm>
#include <cstring>

#include "base/text/Integer.h"
#include "platform/linux/ServerKeys.h"
#include "platform/linux/Transport.h"

namespace tavuno {

namespace {

constexpr const char* portalAppIdKey = "pipewire.access.portal.app_id";

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

// One buffer of `channels` channels, as the platform lays out a buffer list.
std::vector<std::uint8_t> oneBufferLayout(std::uint32_t channels) {
  std::vector<std::uint8_t> bytes(audioBufferListSize(1));
  const std::uint32_t count = 1;
  std::memcpy(bytes.data(), &count, sizeof count);
  AudioBuffer buffer{channels, 0, nullptr};
  std::memcpy(bytes.data() + audioBufferListSize(0), &buffer, sizeof buffer);
  return bytes;
}

std::string valueOf(const Proplist& properties, const std::string& key) {
  auto it = properties.find(key);
  return it == properties.end() ? std::string() : it->second;
}

std::int32_t parsePid(const std::string& text) {
  const auto pid = parseInteger<std::int32_t>(text);
  return pid && *pid > 0 ? *pid : 0;
}

std::uint64_t parseStart(const std::string& text) {
  return parseInteger<std::uint64_t>(text).value_or(0);
}

// A Tavuno's own node: its mark names a process that runs since the start time the mark holds,
// and, when the server says which process made the stream (`pipewire.sec.pid` of its client,
// from the socket), that one. Any client can set the mark; a made-up or copied one hides nothing.
bool isOurs(const Proplist& properties, const ProcessLookup& processes,
            const Proplist* client = nullptr) {
  if (properties.count(serverkey::ownerPid) == 0 || !processes.startTime) return false;
  const std::int32_t pid = parsePid(valueOf(properties, serverkey::ownerPid));
  const std::uint64_t start = parseStart(valueOf(properties, serverkey::ownerStart));
  if (pid <= 0 || start == 0) return false;
  if (client && client->count(serverkey::securityPid) &&
      parsePid(valueOf(*client, serverkey::securityPid)) != pid)
    return false;
  return processes.startTime(pid) == start;
}

PropertyAddress at(std::uint32_t selector, std::uint32_t scope = scope::global,
                   std::uint32_t element = kElementMain) {
  return {selector, scope, element};
}

const ServerCard* cardOf(const ServerState& state, std::uint32_t index) {
  auto it = state.cards.find(index);
  return it == state.cards.end() ? nullptr : &it->second;
}

// Bluetooth devices are known by their address, so a headset's output and
// input pair up although their node names share no stem.
std::string uidOf(const std::string& name, const Proplist& properties, const ServerCard* card,
                  std::uint32_t transportType, bool output) {
  if (transportType == transport::bluetooth) {
    std::string address = valueOf(properties, "api.bluez5.address");
    if (address.empty() && card) address = valueOf(card->properties, "api.bluez5.address");
    if (address.empty()) address = valueOf(properties, "device.string");
    if (!address.empty()) return "bluez:" + address + (output ? ":output" : ":input");
  }
  return name;
}

struct Process {
  std::int32_t pid = 0;
  bool runningOutput = false;
  bool runningInput = false;
  std::set<AudioObjectID> outputDevices;
};

}  // namespace

std::string sanitizedText(const std::string& text, std::size_t maxBytes) {
  static const char replacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(std::min(text.size(), maxBytes));
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, minimum = 0x10000;
    }
    bool valid = length > 0 && i + length <= text.size();
    std::uint32_t code = length <= 1 ? lead : lead & (0x3Fu >> (length - 1));
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = code << 6 | (next & 0x3F);
    }
    if (valid && length > 1 &&
        (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      valid = false;
    if (code == 0 && valid) valid = false;  // an embedded NUL ends C strings downstream
    const char* piece = valid ? text.data() + i : replacement;
    const std::size_t pieceLength = valid ? length : 3;
    if (out.size() + pieceLength > maxBytes) break;
    out.append(piece, pieceLength);
    i += valid ? length : 1;
  }
  return out;
}

std::int32_t streamPid(const Proplist& stream, const Proplist* client) {
  if (auto pid = parsePid(valueOf(stream, serverkey::processId))) return pid;
  if (!client) return 0;
  if (auto pid = parsePid(valueOf(*client, serverkey::processId))) return pid;
  return parsePid(valueOf(*client, serverkey::securityPid));
}

void PropertyTable::set(AudioObjectID object, PropertyAddress address,
                        std::vector<std::uint8_t> data, bool settable) {
  objects_.insert(object);
  properties_[PropertyKey{object, address}] = PropertyValue{std::move(data), settable};
}

PropertyTable PropertyTable::build(const ServerState& state, ObjectIds& ids,
                                   const ProcessLookup& processes) {
  PropertyTable table;
  table.objects_.insert(kAudioObjectSystemObject);
  std::vector<AudioObjectID> deviceIDs;
  std::map<std::uint32_t, AudioObjectID> sinkIDs;
  AudioObjectID defaultOutput = 0, defaultInput = 0;

  auto addDevice = [&](bool output, const std::string& name, const std::string& description,
                       std::uint32_t cardIndex, const Proplist& properties,
                       std::uint32_t channels) -> AudioObjectID {
    const ServerCard* card = cardOf(state, cardIndex);
    const std::uint32_t transportType = transportOf({name, description, &properties, card});
    const std::string uid = uidOf(name, properties, card, transportType, output);
    const AudioObjectID id = ids.idFor((output ? "out:" : "in:") + uid);
    if (table.devices_.count(id)) return 0;  // two nodes claiming one UID: the first wins
    const AudioObjectID stream = ids.idFor((output ? "stream:out:" : "stream:in:") + uid);
    const std::uint32_t direction = output ? scope::output : scope::input;
    const std::uint32_t other = output ? scope::input : scope::output;
    table.set(id, at(selector::deviceUID), bytesOf(uid));
    table.set(id, at(selector::name),
              bytesOf(sanitizedText(description.empty() ? name : description, maxNameBytes)));
    table.set(id, at(selector::transportType), bytesOf(transportType));
    table.set(id, at(selector::streams, direction), bytesOf(std::vector<AudioObjectID>{stream}));
    table.set(id, at(selector::streams, other), {});
    table.set(id, at(selector::streamConfiguration, direction), oneBufferLayout(channels));
    table.objects_.insert(stream);
    table.devices_[id] = DeviceFacts{output, name, uid, {}};
    deviceIDs.push_back(id);
    return id;
  };

  // A volume control per channel and a mute, on the device's side.
  auto addControls = [&](AudioObjectID id, std::uint32_t direction,
                         const std::vector<std::uint32_t>& volume, bool mute) {
    for (std::uint32_t e = 1; e <= volume.size(); ++e) {
      const float value =
          std::min(1.0f, static_cast<float>(volume[e - 1]) / static_cast<float>(kVolumeNorm));
      table.set(id, at(selector::volumeScalar, direction, e), bytesOf(value), true);
    }
    table.set(id, at(selector::mute, direction), bytesOf(std::uint32_t(mute)), true);
    table.devices_[id].volume = volume;
  };

  for (const auto& [index, sink] : state.sinks) {
    if (isOurs(sink.properties, processes) || sink.name == placeholderSink) continue;
    const auto channels = static_cast<std::uint32_t>(sink.volume.size());
    const AudioObjectID id =
        addDevice(true, sink.name, sink.description, sink.card, sink.properties, channels);
    if (!id) continue;
    sinkIDs[index] = id;
    addControls(id, scope::output, sink.volume, sink.mute);
    table.devices_[id].rate = sink.rate;
    if (sink.name == state.info.defaultSinkName) defaultOutput = id;
  }
  for (const auto& [index, source] : state.sources) {
    if (source.monitorOfSink != kNoIndex || isOurs(source.properties, processes)) continue;
    const AudioObjectID id = addDevice(false, source.name, source.description, source.card,
                                       source.properties, source.channels);
    if (!id) continue;
    addControls(id, scope::input, source.volume, source.mute);
    if (source.name == state.info.defaultSourceName) defaultInput = id;
  }
  std::sort(deviceIDs.begin(), deviceIDs.end());
  table.set(kAudioObjectSystemObject, at(selector::devices), bytesOf(deviceIDs));
  table.set(kAudioObjectSystemObject, at(selector::defaultOutputDevice), bytesOf(defaultOutput),
            true);
  table.set(kAudioObjectSystemObject, at(selector::defaultInputDevice), bytesOf(defaultInput),
            true);

  // Pids: a sandboxed client reports its namespace pid; the host pid is the
  // one the rest of the system (and identity) knows it by.
  auto hostPidOf = [&](std::int32_t pid, const Proplist* client) {
    if (pid <= 0 || !client || !processes.hostPid) return pid;
    const std::string appId = valueOf(*client, portalAppIdKey);
    if (appId.empty()) return pid;
    return processes.hostPid(pid, appId).value_or(pid);
  };
  std::map<AudioObjectID, Process> found;
  auto addStream = [&](const ServerStream& stream, bool output) {
    auto client = state.clients.find(stream.client);
    const Proplist* clientProperties =
        client == state.clients.end() ? nullptr : &client->second.properties;
    if (isOurs(stream.properties, processes, clientProperties)) return;
    const std::int32_t pid =
        hostPidOf(streamPid(stream.properties, clientProperties), clientProperties);
    if (pid <= 0) return;
    const std::uint64_t start =
        processes.startTime ? processes.startTime(pid).value_or(0) : std::uint64_t{0};
    const AudioObjectID id = ids.idFor("proc:" + std::to_string(pid) + ":" + std::to_string(start));
    Process& process = found[id];
    process.pid = pid;
    table.pidSources_[pid].push_back(
        {output ? ProcessSource::Kind::sinkInput : ProcessSource::Kind::sourceOutput,
         stream.index});
    if (stream.corked) return;
    if (output) {
      process.runningOutput = true;
      auto sink = sinkIDs.find(stream.device);
      if (sink != sinkIDs.end()) process.outputDevices.insert(sink->second);
    } else {
      auto source = state.sources.find(stream.device);
      if (source != state.sources.end() && source->second.monitorOfSink == kNoIndex)
        process.runningInput = true;
    }
  };
  for (const auto& [index, stream] : state.sinkInputs)
    addStream(stream, true);
  for (const auto& [index, stream] : state.sourceOutputs)
    addStream(stream, false);
  for (const auto& [index, client] : state.clients) {
    std::int32_t pid = parsePid(valueOf(client.properties, serverkey::processId));
    if (!pid) pid = parsePid(valueOf(client.properties, serverkey::securityPid));
    pid = hostPidOf(pid, &client.properties);
    if (pid > 0) table.pidSources_[pid].push_back({ProcessSource::Kind::client, index});
  }

  std::vector<AudioObjectID> processIDs;
  for (const auto& [id, process] : found) {
    processIDs.push_back(id);
    table.set(id, at(selector::processPID), bytesOf(process.pid));
    table.set(id, at(selector::processIsRunningOutput),
              bytesOf(std::uint32_t(process.runningOutput)));
    table.set(id, at(selector::processIsRunningInput),
              bytesOf(std::uint32_t(process.runningInput)));
    table.set(id, at(selector::processDevices, scope::output),
              bytesOf(std::vector<AudioObjectID>(process.outputDevices.begin(),
                                                 process.outputDevices.end())));
  }
  table.set(kAudioObjectSystemObject, at(selector::processObjectList), bytesOf(processIDs));
  return table;
}

const PropertyValue* PropertyTable::find(AudioObjectID object,
                                         const PropertyAddress& address) const {
  auto it = properties_.find(PropertyKey{object, address});
  return it == properties_.end() ? nullptr : &it->second;
}

const DeviceFacts* PropertyTable::device(AudioObjectID object) const {
  auto it = devices_.find(object);
  return it == devices_.end() ? nullptr : &it->second;
}

std::vector<ProcessSource> PropertyTable::sourcesOfPid(std::int32_t pid) const {
  auto it = pidSources_.find(pid);
  return it == pidSources_.end() ? std::vector<ProcessSource>{} : it->second;
}

std::vector<PropertyKey> PropertyTable::diff(const PropertyTable& newer) const {
  std::vector<PropertyKey> changed;
  auto a = properties_.begin();
  auto b = newer.properties_.begin();
  while (a != properties_.end() || b != newer.properties_.end()) {
    if (b == newer.properties_.end() || (a != properties_.end() && a->first < b->first)) {
      changed.push_back(a->first);
      ++a;
    } else if (a == properties_.end() || b->first < a->first) {
      changed.push_back(b->first);
      ++b;
    } else {
      if (!(a->second == b->second)) changed.push_back(a->first);
      ++a;
      ++b;
    }
  }
  return changed;
}

}  // namespace tavuno
