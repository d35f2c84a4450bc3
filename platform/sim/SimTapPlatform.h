#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/taps/TapPlatform.h"

namespace tavuno {

// Process taps, aggregate devices, device I/O and output units in memory. Every object made is
// recorded (with its description) and stays listed after it is destroyed; any call can be made
// to fail with a chosen status, or to succeed without yielding an id. Aggregates take their
// streams from what their description names: the output and input streams of each sub-device
// known by UID, and one input stream per tap, in the tap's format. Setting an aggregate's
// nominal rate moves all its streams to that rate.
//
// Callbacks run only when driven: runIOProc() and render() call them on the calling thread,
// standing in for the queue or render thread they were registered for. Those two only read the
// platform's records, so two threads may drive callbacks at once as long as nothing else calls
// the platform meanwhile. Everything else is single-threaded.
class SimTapPlatform : public TapPlatform {
 public:
  enum class Call {
    createProcessTap,
    destroyProcessTap,
    createAggregateDevice,
    destroyAggregateDevice,
    getPropertyDataSize,
    getPropertyData,
    setPropertyData,
    getStringProperty,
    createIOProcID,
    destroyIOProcID,
    deviceStart,
    deviceStop,
    findNextComponent,
    newComponentInstance,
    disposeComponentInstance,
    setUnitProperty,
    getUnitProperty,
    setRenderCallback,
    initializeUnit,
    uninitializeUnit,
    startOutputUnit,
    stopOutputUnit,
  };

  // A scripted outcome for matching calls. Property calls match on selector and scope, unit
  // property calls on property id and scope; unset fields match anything.
  struct Fault {
    Call call = Call::createProcessTap;
    std::optional<std::uint32_t> selector;
    std::optional<std::uint32_t> scope;
    OSStatus status = status::unspecified;  // non-zero: the call fails with it
    // With status 0: succeed without an id, unit or component, or with a null string.
    bool noResult = false;
    // With status 0, for size queries: succeed and report this size.
    std::optional<std::uint32_t> size;
    int remaining = -1;  // matching calls left; -1 = forever
  };

  struct CallRecord {
    Call call;
    std::uint64_t target;  // object id, proc id or unit, 0 when none
    std::uint32_t selector = 0;
    std::uint32_t scope = 0;
    OSStatus status = status::noError;
  };

  struct Device {
    std::string uid;
    double nominalRate = 48000;
    std::vector<AudioStreamBasicDescription> outputStreams;
    std::vector<AudioStreamBasicDescription> inputStreams;
  };

  struct Tap {
    TapDescription description;
    std::string uid;
    AudioStreamBasicDescription format;
    bool alive = true;
  };

  struct Stream {
    AudioStreamBasicDescription format;
    AudioObjectID owner;  // the device or tap it comes from
    bool fromTap = false;
  };

  struct Aggregate {
    DeviceDescription description;
    bool alive = true;
    double nominalRate = 0;
    std::vector<AudioObjectID> inputStreams;
    std::vector<AudioObjectID> outputStreams;
  };

  struct IOProc {
    AudioObjectID device;
    std::shared_ptr<SerialQueue> queue;
    IOBlock block;
    bool registered = true;
    bool running = false;
  };

  struct Unit {
    bool alive = true;
    bool initialized = false;
    bool started = false;
    RenderCallback render;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>>
        properties;  // by (property, scope, element)
  };

  // How new output units behave.
  struct UnitBehaviour {
    bool inputStaysEnabled = false;  // ignores switching the input side off
    // Reported back for the input-scope stream format instead of what was set.
    std::optional<AudioStreamBasicDescription> acceptedFormat;
  };

  static constexpr AudioComponentRef halOutputComponent = static_cast<AudioComponentRef>(1);

  SimTapPlatform();

  // Setup.
  AudioObjectID addDevice(Device device);
  Device& device(AudioObjectID id) { return devices_.at(id); }
  // Format of the taps made from now on (default: stereo float, 48 kHz).
  void setTapFormat(const AudioStreamBasicDescription& format) { tapFormat_ = format; }
  void setUnitBehaviour(const UnitBehaviour& behaviour) { unitBehaviour_ = behaviour; }
  void injectFault(const Fault& fault) { faults_.push_back(fault); }
  void clearFaults() { faults_.clear(); }

  // Records.
  const std::vector<CallRecord>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  std::size_t callCount(Call call) const;
  const std::map<AudioObjectID, Tap>& taps() const { return taps_; }
  const std::map<AudioObjectID, Aggregate>& aggregates() const { return aggregates_; }
  const std::map<AudioObjectID, Stream>& streams() const { return streams_; }
  const std::map<IOProcID, IOProc>& ioProcs() const { return procs_; }
  const std::map<AudioUnitRef, Unit>& units() const { return units_; }
  // Taps, aggregates, registered procs and units not destroyed.
  std::size_t liveObjectCount() const;
  // The device a unit plays to (its current-device property), 0 when unset.
  AudioObjectID unitDevice(AudioUnitRef unit) const;
  // The unit's input-scope stream format, when set.
  std::optional<AudioStreamBasicDescription> unitStreamFormat(AudioUnitRef unit) const;

  // Driving. Each calls the callback when it is registered and running (proc) or installed on
  // a started unit (render); otherwise returns status::illegalOperation and calls nothing.
  OSStatus runIOProc(IOProcID proc, const AudioBufferList* input, AudioBufferList* output) const;
  OSStatus render(AudioUnitRef unit, std::uint32_t frames, AudioBufferList* ioData) const;

  // TapPlatform
  OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) override;
  OSStatus destroyProcessTap(AudioObjectID tap) override;
  OSStatus createAggregateDevice(const DeviceDescription& description,
                                 AudioObjectID& outDevice) override;
  OSStatus destroyAggregateDevice(AudioObjectID device) override;
  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override;
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* outData) override;
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address, std::uint32_t size,
                           const void* data) override;
  OSStatus getStringProperty(AudioObjectID object, const PropertyAddress& address,
                             std::optional<std::string>& outValue) override;
  OSStatus createIOProcID(AudioObjectID device, std::shared_ptr<SerialQueue> queue, IOBlock block,
                          IOProcID& outProc) override;
  OSStatus destroyIOProcID(AudioObjectID device, IOProcID proc) override;
  OSStatus deviceStart(AudioObjectID device, IOProcID proc) override;
  OSStatus deviceStop(AudioObjectID device, IOProcID proc) override;
  OSStatus findNextComponent(AudioComponentRef previous, const ComponentDescription& description,
                             AudioComponentRef& outComponent) override;
  OSStatus newComponentInstance(AudioComponentRef component, AudioUnitRef& outUnit) override;
  OSStatus disposeComponentInstance(AudioUnitRef unit) override;
  OSStatus setUnitProperty(AudioUnitRef unit, std::uint32_t property, std::uint32_t scope,
                           std::uint32_t element, const void* data, std::uint32_t size) override;
  OSStatus getUnitProperty(AudioUnitRef unit, std::uint32_t property, std::uint32_t scope,
                           std::uint32_t element, void* outData, std::uint32_t& ioSize) override;
  OSStatus setRenderCallback(AudioUnitRef unit, std::uint32_t scope, std::uint32_t element,
                             const RenderCallback& callback) override;
  OSStatus initializeUnit(AudioUnitRef unit) override;
  OSStatus uninitializeUnit(AudioUnitRef unit) override;
  OSStatus startOutputUnit(AudioUnitRef unit) override;
  OSStatus stopOutputUnit(AudioUnitRef unit) override;

 private:
  // The scripted fault for this call, if any (used up by one).
  std::optional<Fault> fault(Call call, std::uint32_t selector = 0, std::uint32_t scope = 0);
  OSStatus record(Call call, std::uint64_t target, OSStatus status, std::uint32_t selector = 0,
                  std::uint32_t scope = 0);
  // The ids of the streams of a device or aggregate in a scope; nothing for other objects.
  std::optional<std::vector<AudioObjectID>> streamList(AudioObjectID object,
                                                       std::uint32_t scope) const;
  std::optional<AudioStreamBasicDescription> formatOf(AudioObjectID object,
                                                      std::uint32_t selector) const;
  std::optional<double> nominalRateOf(AudioObjectID object) const;
  AudioObjectID addStream(const AudioStreamBasicDescription& format, AudioObjectID owner,
                          bool fromTap);
  Unit* liveUnit(AudioUnitRef unit);

  AudioObjectID nextObject_ = 1000;
  std::uint64_t nextProc_ = 1;
  std::uint64_t nextUnit_ = 1;
  AudioStreamBasicDescription tapFormat_;
  UnitBehaviour unitBehaviour_;
  std::map<AudioObjectID, Device> devices_;
  std::map<AudioObjectID, std::vector<AudioObjectID>> deviceOutputStreams_;
  std::map<AudioObjectID, std::vector<AudioObjectID>> deviceInputStreams_;
  std::map<AudioObjectID, Tap> taps_;
  std::map<AudioObjectID, Aggregate> aggregates_;
  std::map<AudioObjectID, Stream> streams_;
  std::map<IOProcID, IOProc> procs_;
  std::map<AudioUnitRef, Unit> units_;
  std::vector<Fault> faults_;
  std::vector<CallRecord> calls_;
};

}  // namespace tavuno
