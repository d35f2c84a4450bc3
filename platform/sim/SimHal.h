#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/ports/MainQueue.h"
#include "hal/Hal.h"

namespace tavuno {

// A volume or mute control of a simulated device.
struct SimControl {
  float value = 1.0f;  // mute: nonzero = muted
  bool settable = true;
  OSStatus readStatus = status::noError;   // nonzero: reads fail with it
  OSStatus writeStatus = status::noError;  // nonzero: writes fail with it
};

struct SimDeviceSpec {
  std::string uid;
  std::string name;
  std::uint32_t transport = transport::usb;
  std::uint32_t inputStreams = 0;
  std::uint32_t outputStreams = 0;
  // Channels of each output buffer; empty gives one buffer of two channels
  // when the device has output.
  std::vector<std::uint32_t> outputChannels;
  std::optional<SimControl> masterVolume;
  // Index i is channel i + 1; an absent entry has no control.
  std::vector<std::optional<SimControl>> channelVolumes;
  std::optional<SimControl> mute;
  // The same on the input side (a microphone's level and mute); empty
  // inputChannels gives one buffer of two channels when the device has input.
  std::vector<std::uint32_t> inputChannels;
  std::optional<SimControl> inputMasterVolume;
  std::vector<std::optional<SimControl>> inputChannelVolumes;
  std::optional<SimControl> inputMute;
};

struct SimProcessSpec {
  std::int32_t pid = 0;
  bool runningOutput = false;
  bool runningInput = false;
  std::vector<AudioObjectID> outputDevices;
};

// In-memory audio hardware: a system object with devices, defaults and
// process objects, any property of which can be made to fail. A change made
// through the port or through the helpers below notifies the listeners of
// that property on the main queue.
class SimHal : public Hal {
 public:
  enum class Operation { getSize, get, set, has, isSettable, addListener, removeListener, any };

  // Matches calls by any combination of object, selector, scope and element.
  struct Fault {
    Operation operation = Operation::any;
    std::optional<AudioObjectID> object;
    std::optional<std::uint32_t> selector;
    std::optional<std::uint32_t> scope;
    std::optional<std::uint32_t> element;
    OSStatus status = status::unspecified;
    int remaining = -1;  // calls left to fail; -1 = forever
  };

  struct Write {
    AudioObjectID object;
    PropertyAddress address;
    std::vector<std::uint8_t> data;
    OSStatus result;
  };

  explicit SimHal(MainQueue& main);

  // Hal
  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override;
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* outData) override;
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address, std::uint32_t size,
                           const void* data) override;
  bool hasProperty(AudioObjectID object, const PropertyAddress& address) override;
  OSStatus isPropertySettable(AudioObjectID object, const PropertyAddress& address,
                              bool& outSettable) override;
  OSStatus addPropertyListener(AudioObjectID object, const PropertyAddress& address,
                               PropertyListener listener, ListenerToken& outToken) override;
  OSStatus removePropertyListener(AudioObjectID object, const PropertyAddress& address,
                                  ListenerToken token) override;
  void setDeferredWriteFailureHandler(DeferredWriteFailureHandler handler) override {
    deferredFailureHandler_ = std::move(handler);
  }

  // Devices and processes. Adding or removing updates the system lists.
  AudioObjectID addDevice(const SimDeviceSpec& spec);
  void removeDevice(AudioObjectID device);
  AudioObjectID addProcess(const SimProcessSpec& spec);
  void removeProcess(AudioObjectID process);
  void setProcessRunning(AudioObjectID process, bool output, bool input);
  void setProcessDevices(AudioObjectID process, const std::vector<AudioObjectID>& devices);
  std::vector<AudioObjectID> deviceIDs() const;

  // Changes made "outside the program": they notify like real ones.
  void setDefaultInput(AudioObjectID device);
  void setDefaultOutput(AudioObjectID device);
  // On the output side unless `direction` is scope::input.
  void setVolume(AudioObjectID device, std::uint32_t element, float value,
                 std::uint32_t direction = scope::output);
  void setMuted(AudioObjectID device, bool muted, std::uint32_t direction = scope::output);
  void setTransport(AudioObjectID device, std::uint32_t transport);

  AudioObjectID defaultInput() const;
  AudioObjectID defaultOutput() const;
  std::optional<float> volume(AudioObjectID device, std::uint32_t element,
                              std::uint32_t direction = scope::output) const;
  std::optional<bool> muted(AudioObjectID device, std::uint32_t direction = scope::output) const;

  // Raw properties, for shapes the helpers do not make.
  void defineProperty(AudioObjectID object, const PropertyAddress& address,
                      std::vector<std::uint8_t> data, bool settable = false,
                      OSStatus readStatus = status::noError,
                      OSStatus writeStatus = status::noError);
  void removeProperty(AudioObjectID object, const PropertyAddress& address);
  void setPropertyStatus(AudioObjectID object, const PropertyAddress& address, OSStatus readStatus,
                         OSStatus writeStatus);

  // A write that had returned success fails later, as on a Hal that applies
  // writes after returning: the handler hears of it on the main queue. The
  // test puts the old value back itself (setVolume and the like) first.
  void failDeferredWrite(AudioObjectID object, const PropertyAddress& address, OSStatus status);

  void injectFault(const Fault& fault) { faults_.push_back(fault); }
  void clearFaults() { faults_.clear(); }

  const std::vector<Write>& writes() const { return writes_; }
  void clearWrites() { writes_.clear(); }
  std::size_t listenerCount() const;
  std::size_t listenerCount(AudioObjectID object, const PropertyAddress& address) const;
  // Calls of each operation so far (for "reads nothing" checks).
  std::size_t callCount(Operation operation) const;

 private:
  struct Property {
    std::vector<std::uint8_t> data;
    bool settable = false;
    OSStatus readStatus = status::noError;
    OSStatus writeStatus = status::noError;
  };
  struct Registration {
    ListenerToken token;
    std::shared_ptr<PropertyListener> listener;
  };
  using Key = std::tuple<AudioObjectID, std::uint32_t, std::uint32_t, std::uint32_t>;
  static Key keyOf(AudioObjectID object, const PropertyAddress& address) {
    return {object, address.selector, address.scope, address.element};
  }

  std::optional<OSStatus> fault(Operation operation, AudioObjectID object,
                                const PropertyAddress& address);
  Property* find(AudioObjectID object, const PropertyAddress& address);
  const Property* find(AudioObjectID object, const PropertyAddress& address) const;
  void store(AudioObjectID object, const PropertyAddress& address, std::vector<std::uint8_t> data);
  void notify(AudioObjectID object, const PropertyAddress& address);
  void defineControl(AudioObjectID device, std::uint32_t selector, std::uint32_t direction,
                     std::uint32_t element, const SimControl& control);
  void updateList(std::uint32_t selector, const std::vector<AudioObjectID>& ids);
  std::vector<AudioObjectID> list(std::uint32_t selector) const;

  MainQueue& main_;
  AudioObjectID nextObject_ = 100;
  ListenerToken nextToken_ = 1;
  std::map<Key, Property> properties_;
  std::map<Key, std::vector<Registration>> listeners_;
  std::vector<Fault> faults_;
  std::vector<Write> writes_;
  std::map<Operation, std::size_t> calls_;
  DeferredWriteFailureHandler deferredFailureHandler_;
};

}  // namespace tavuno
