#include "platform/linux/LinuxHal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavuno {

namespace {

bool isDefaultDevice(AudioObjectID object, const PropertyAddress& address) {
  return object == kAudioObjectSystemObject && (address.selector == selector::defaultOutputDevice ||
                                                address.selector == selector::defaultInputDevice);
}

template <class T>
T valueOf(const std::vector<std::uint8_t>& bytes) {
  T value{};
  if (bytes.size() == sizeof value) std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

template <class T>
std::vector<std::uint8_t> bytesOf(const T& value) {
  std::vector<std::uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::uint32_t serverVolume(float value) {
  return static_cast<std::uint32_t>(std::lround(value * static_cast<float>(kVolumeNorm)));
}

}  // namespace

LinuxHal::LinuxHal(MainQueue& main, SnapshotHub& hub, ServerWriter& writer)
    : main_(main), hub_(hub), writer_(writer), view_(hub.snapshot()) {
  // Runs on the publishing thread: one take-over task at a time, which then
  // takes whatever is latest.
  hubToken_ = hub_.listen([this] {
    if (takeOverPosted_.exchange(true)) return;
    std::weak_ptr<int> alive = alive_;
    main_.post([this, alive] {
      if (alive.lock()) takeLatestSnapshot();
    });
  });
}

LinuxHal::~LinuxHal() {
  hub_.unlisten(hubToken_);
}

void LinuxHal::takeLatestSnapshot() {
  takeOverPosted_.store(false);
  SnapshotRef next = hub_.snapshot();
  if (next == view_) return;
  std::vector<PropertyKey> changed = view_->table.diff(next->table);
  view_ = std::move(next);
  for (auto it = overlay_.begin(); it != overlay_.end();) {
    const bool gone = !viewValue(it->first.object, it->first.address);
    it = gone || carried(it->first, it->second) ? overlay_.erase(it) : std::next(it);
  }
  notify(changed);
}

void LinuxHal::notify(const std::vector<PropertyKey>& keys) {
  // Held weakly: a listener removed by an earlier one is not called.
  std::vector<std::pair<PropertyAddress, std::weak_ptr<PropertyListener>>> due;
  for (const PropertyKey& key : keys) {
    auto it = listeners_.find(key);
    if (it == listeners_.end()) continue;
    for (const Registration& registration : it->second)
      due.emplace_back(key.address, registration.listener);
  }
  for (const auto& [address, weak] : due)
    if (auto listener = weak.lock()) (*listener)(1, &address);
}

const PropertyValue* LinuxHal::viewValue(AudioObjectID object,
                                         const PropertyAddress& address) const {
  return view_->table.find(object, address);
}

OSStatus LinuxHal::lookup(AudioObjectID object, const PropertyAddress& address,
                          const std::vector<std::uint8_t>*& outData) const {
  if (!view_->table.hasObject(object)) return status::badObject;
  auto pending = overlay_.find(PropertyKey{object, address});
  if (pending != overlay_.end()) {
    outData = &pending->second.value;
    return status::noError;
  }
  const PropertyValue* value = viewValue(object, address);
  if (!value) return status::unknownProperty;
  outData = &value->data;
  return status::noError;
}

OSStatus LinuxHal::getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                       std::uint32_t& outSize) {
  const std::vector<std::uint8_t>* data = nullptr;
  if (OSStatus status = lookup(object, address, data)) return status;
  outSize = static_cast<std::uint32_t>(data->size());
  return status::noError;
}

OSStatus LinuxHal::getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t& ioSize, void* outData) {
  const std::vector<std::uint8_t>* data = nullptr;
  if (OSStatus status = lookup(object, address, data)) return status;
  const std::size_t n = std::min<std::size_t>(ioSize, data->size());
  if (n > 0) std::memcpy(outData, data->data(), n);
  ioSize = static_cast<std::uint32_t>(n);
  return status::noError;
}

bool LinuxHal::hasProperty(AudioObjectID object, const PropertyAddress& address) {
  const std::vector<std::uint8_t>* data = nullptr;
  return lookup(object, address, data) == status::noError;
}

OSStatus LinuxHal::isPropertySettable(AudioObjectID object, const PropertyAddress& address,
                                      bool& outSettable) {
  if (!view_->table.hasObject(object)) return status::badObject;
  const PropertyValue* value = viewValue(object, address);
  if (!value) return status::unknownProperty;
  outSettable = value->settable;
  return status::noError;
}

OSStatus LinuxHal::setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t size, const void* data) {
  if (!view_->connected) return status::unspecified;
  if (!view_->table.hasObject(object)) return status::badObject;
  const PropertyValue* current = viewValue(object, address);
  if (!current) return status::unknownProperty;
  if (!current->settable) return status::illegalOperation;
  if (size != current->data.size() || (size > 0 && !data)) return status::badPropertySize;
  std::vector<std::uint8_t> bytes(size);
  if (size > 0) std::memcpy(bytes.data(), data, size);

  if (isDefaultDevice(object, address)) {
    const DeviceFacts* device = view_->table.device(valueOf<AudioObjectID>(bytes));
    if (!device || device->output != (address.selector == selector::defaultOutputDevice))
      return status::illegalOperation;
  } else if (address.selector == selector::volumeScalar) {
    // On the server's scale already, so the snapshot that carries the write
    // reads the same and nobody hears of a change that is not one.
    const float value = valueOf<float>(bytes);
    const float clamped = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
    bytes = bytesOf(static_cast<float>(serverVolume(clamped)) / static_cast<float>(kVolumeNorm));
  } else if (address.selector == selector::mute) {
    bytes = bytesOf(std::uint32_t(valueOf<std::uint32_t>(bytes) != 0));
  }

  PendingWrite& write = overlay_[PropertyKey{object, address}];
  write = PendingWrite{std::move(bytes), nextOrder_++};
  scheduleFlush();
  return status::noError;
}

bool LinuxHal::carried(const PropertyKey& key, const PendingWrite& write) const {
  const PropertyValue* value = viewValue(key.object, key.address);
  if (!value) return false;
  if (key.address.selector == selector::volumeScalar) {
    // The server keeps whole steps of 1/kVolumeNorm.
    const float step = 1.0f / static_cast<float>(kVolumeNorm);
    return std::fabs(valueOf<float>(value->data) - valueOf<float>(write.value)) <= step * 1.01f;
  }
  return value->data == write.value;
}

void LinuxHal::scheduleFlush() {
  if (flushPosted_) return;
  flushPosted_ = true;
  std::weak_ptr<int> alive = alive_;
  main_.post([this, alive] {
    if (!alive.lock()) return;
    flushPosted_ = false;
    flush();
  });
}

void LinuxHal::flush() {
  std::map<AudioObjectID, bool> volumeDevices;  // devices with a queued channel
  std::vector<std::pair<std::uint64_t, PropertyKey>> others;
  for (const auto& [key, write] : overlay_) {
    if (!write.queued) continue;
    if (key.address.selector == selector::volumeScalar)
      volumeDevices[key.object] = true;
    else
      others.emplace_back(write.order, key);
  }

  // Every channel written for a sink goes in one request, over the volume
  // the view holds for the channels not written.
  for (const auto& [device, unused] : volumeDevices) {
    const DeviceFacts* facts = view_->table.device(device);
    if (!facts) continue;
    std::vector<std::uint32_t> volume = facts->volume;
    std::vector<PropertyKey> keys;
    for (const auto& [key, write] : overlay_) {
      if (key.object != device || key.address.selector != selector::volumeScalar) continue;
      const std::uint32_t element = key.address.element;
      if (element < 1 || element > volume.size()) continue;
      volume[element - 1] = serverVolume(valueOf<float>(write.value));
      keys.push_back(key);
    }
    const std::string name = facts->serverName;
    const bool output = facts->output;
    send(keys, [this, name, output, volume](ServerWriter::Done done) {
      if (output)
        writer_.setSinkVolume(name, volume, std::move(done));
      else
        writer_.setSourceVolume(name, volume, std::move(done));
    });
  }

  std::sort(others.begin(), others.end());
  for (const auto& [order, key] : others) {
    const std::vector<std::uint8_t>& value = overlay_.at(key).value;
    if (key.address.selector == selector::mute) {
      const DeviceFacts* facts = view_->table.device(key.object);
      if (!facts) continue;
      const std::string name = facts->serverName;
      const bool output = facts->output;
      const bool mute = valueOf<std::uint32_t>(value) != 0;
      send({key}, [this, name, output, mute](ServerWriter::Done done) {
        if (output)
          writer_.setSinkMute(name, mute, std::move(done));
        else
          writer_.setSourceMute(name, mute, std::move(done));
      });
    } else if (isDefaultDevice(key.object, key.address)) {
      const DeviceFacts* facts = view_->table.device(valueOf<AudioObjectID>(value));
      if (!facts) continue;
      const std::string name = facts->serverName;
      const bool output = facts->output;
      send({key}, [this, name, output](ServerWriter::Done done) {
        if (output)
          writer_.setDefaultSink(name, std::move(done));
        else
          writer_.setDefaultSource(name, std::move(done));
      });
    }
  }
}

void LinuxHal::send(std::vector<PropertyKey> keys,
                    const std::function<void(ServerWriter::Done)>& request) {
  const std::uint64_t id = nextRequest_++;
  const double deadline = main_.uptime() + writeTimeout;
  for (const PropertyKey& key : keys) {
    PendingWrite& write = overlay_.at(key);
    if (write.queued) ++write.sends;
    write.queued = false;
    write.request = id;
    write.deadline = deadline;
  }
  std::weak_ptr<int> alive = alive_;
  MainQueue* main = &main_;
  request([this, main, alive, keys, id](bool accepted) {
    main->post([this, alive, keys, id, accepted] {
      if (alive.lock()) onReply(keys, id, accepted);
    });
  });
  main_.postAfter(writeTimeout, [this, alive] {
    if (alive.lock()) checkDeadlines();
  });
}

void LinuxHal::onReply(const std::vector<PropertyKey>& keys, std::uint64_t request, bool accepted) {
  for (const PropertyKey& key : keys) {
    auto it = overlay_.find(key);
    if (it == overlay_.end() || it->second.request != request || it->second.queued) continue;
    if (carried(key, it->second))
      overlay_.erase(it);
    else if (!accepted)
      retryOrFail(key);
  }
}

void LinuxHal::checkDeadlines() {
  const double now = main_.uptime();
  std::vector<PropertyKey> due;
  for (const auto& [key, write] : overlay_)
    if (!write.queued && write.request != 0 && write.deadline <= now) due.push_back(key);
  for (const PropertyKey& key : due) {
    auto it = overlay_.find(key);
    if (carried(key, it->second))
      overlay_.erase(it);
    else
      retryOrFail(key);
  }
}

void LinuxHal::retryOrFail(const PropertyKey& key) {
  auto it = overlay_.find(key);
  if (it == overlay_.end()) return;
  if (it->second.sends <= maxResends) {
    it->second.queued = true;
    scheduleFlush();
    return;
  }
  // Given up: reads fall back to the view, and whoever listens re-reads it.
  overlay_.erase(it);
  std::weak_ptr<int> alive = alive_;
  main_.post([this, alive, key] {
    if (alive.lock()) notify({key});
  });
  if (failureHandler_) failureHandler_(key.object, key.address, status::unspecified);
}

OSStatus LinuxHal::addPropertyListener(AudioObjectID object, const PropertyAddress& address,
                                       PropertyListener listener, ListenerToken& outToken) {
  if (!listener) return status::paramError;
  if (!view_->table.hasObject(object)) return status::badObject;
  outToken = nextToken_++;
  listeners_[PropertyKey{object, address}].push_back(
      Registration{outToken, std::make_shared<PropertyListener>(std::move(listener))});
  return status::noError;
}

OSStatus LinuxHal::removePropertyListener(AudioObjectID object, const PropertyAddress& address,
                                          ListenerToken token) {
  auto it = listeners_.find(PropertyKey{object, address});
  if (it == listeners_.end()) return status::illegalOperation;
  auto& registrations = it->second;
  auto match = std::find_if(registrations.begin(), registrations.end(),
                            [token](const Registration& r) { return r.token == token; });
  if (match == registrations.end()) return status::illegalOperation;
  registrations.erase(match);
  if (registrations.empty()) listeners_.erase(it);
  return status::noError;
}

}  // namespace tavuno
