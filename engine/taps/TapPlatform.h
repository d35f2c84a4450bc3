#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/ports/SerialQueue.h"
#include "engine/sessions/SessionFailure.h"
#include "engine/taps/StreamFormat.h"
#include "hal/HalTypes.h"

namespace tavuno {

// Selectors of the tap, device and stream properties the sessions read and write.
namespace tapSelector {
constexpr std::uint32_t tapUID = fourCC("tuid");             // tap: string reference
constexpr std::uint32_t tapFormat = fourCC("tfmt");          // tap: stream-format record
constexpr std::uint32_t streams = fourCC("stm#");            // device: stream ids, per scope
constexpr std::uint32_t virtualFormat = fourCC("sfmt");      // stream: stream-format record
constexpr std::uint32_t nominalSampleRate = fourCC("nsrt");  // device: 64-bit float, Hz
}  // namespace tapSelector

// What a tapped process's own output does while the tap exists.
namespace tapMute {
constexpr std::int32_t unmuted = 0;
constexpr std::int32_t muted = 1;
constexpr std::int32_t mutedWhenTapped = 2;  // silent only while the tap is being read
}  // namespace tapMute

// A process tap to create.
struct TapDescription {
  std::vector<AudioObjectID> processes;  // process objects
  bool stereoMixdown = false;            // one stereo mix of all the processes
  std::string name;
  bool isPrivate = false;  // visible to this process only
  std::int32_t muteBehavior = tapMute::unmuted;

  friend bool operator==(const TapDescription&, const TapDescription&) = default;
};

// The aggregate-device description dictionary: string keys, whose values are texts, booleans or
// lists of flat dictionaries (sub-devices, taps).
using PlainValue = std::variant<std::string, bool>;
using PlainDictionary = std::map<std::string, PlainValue>;
using DescriptionValue = std::variant<std::string, bool, std::vector<PlainDictionary>>;
using DeviceDescription = std::map<std::string, DescriptionValue>;

// A registered device I/O callback; `none` means no registration.
enum class IOProcID : std::uint64_t { none = 0 };

// Buffer k of a variable-length list that holds more than k buffers.
inline AudioBuffer& bufferAt(AudioBufferList& list, std::uint32_t k) {
  return *(list.mBuffers + k);
}
inline const AudioBuffer& bufferAt(const AudioBufferList& list, std::uint32_t k) {
  return *(list.mBuffers + k);
}

// Called once per I/O cycle with the device's input and output buffer lists (either may be
// null). Runs on the platform's audio thread for the device, serialised on the queue given at
// registration; it must not allocate, lock, log or call the platform.
using IOBlock = std::function<void(const AudioBufferList* input, AudioBufferList* output)>;

// Output units.
enum class AudioComponentRef : std::uint64_t { none = 0 };
enum class AudioUnitRef : std::uint64_t { none = 0 };

struct ComponentDescription {
  std::uint32_t componentType = 0;
  std::uint32_t componentSubType = 0;
  std::uint32_t componentManufacturer = 0;
  std::uint32_t componentFlags = 0;
  std::uint32_t componentFlagsMask = 0;

  friend bool operator==(const ComponentDescription&, const ComponentDescription&) = default;
};

namespace unitComponent {
constexpr std::uint32_t typeOutput = fourCC("auou");
constexpr std::uint32_t subTypeHalOutput = fourCC("ahal");
constexpr std::uint32_t manufacturerSystem = fourCC("appl");
}  // namespace unitComponent

namespace unitProperty {
constexpr std::uint32_t streamFormat = 8;        // stream-format record
constexpr std::uint32_t setRenderCallback = 23;  // RenderCallback
constexpr std::uint32_t currentDevice = 2000;    // AudioObjectID
constexpr std::uint32_t enableIO = 2003;         // UInt32 0/1
}  // namespace unitProperty

namespace unitScope {
constexpr std::uint32_t global = 0;
constexpr std::uint32_t input = 1;
constexpr std::uint32_t output = 2;
}  // namespace unitScope

// Supplies `frames` frames into `ioData` for the unit; runs on the unit's real-time render
// thread and must not allocate, lock, log or call the platform. The status goes back to the
// unit.
using RenderProc = OSStatus (*)(void* context, std::uint32_t frames, AudioBufferList* ioData);

struct RenderCallback {
  RenderProc proc = nullptr;
  void* context = nullptr;
};

// The platform calls of the per-application sessions, in the platform's shape: object ids,
// property addresses, byte sizes and 32-bit statuses (0 = success). Outputs are written only on
// success. The sessions call it from one thread at a time (their owner's); an implementation
// calls the registered callbacks on its own audio threads.
class TapPlatform {
 public:
  virtual ~TapPlatform() = default;

  // Process taps.
  virtual OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) = 0;
  virtual OSStatus destroyProcessTap(AudioObjectID tap) = 0;

  // Aggregate devices.
  virtual OSStatus createAggregateDevice(const DeviceDescription& description,
                                         AudioObjectID& outDevice) = 0;
  virtual OSStatus destroyAggregateDevice(AudioObjectID device) = 0;

  // Properties of taps, devices and streams. `ioSize` is the capacity of `outData` on entry and
  // the bytes written on return.
  virtual OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                       std::uint32_t& outSize) = 0;
  virtual OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t& ioSize, void* outData) = 0;
  virtual OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t size, const void* data) = 0;
  // A string-reference property; a null reference reads as nothing.
  virtual OSStatus getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                     std::optional<std::string>& outValue) = 0;

  // Device I/O. The block runs serialised on `queue`; a success may still yield `none`.
  virtual OSStatus createIOProcID(AudioObjectID device, std::shared_ptr<SerialQueue> queue,
                                  IOBlock block, IOProcID& outProc) = 0;
  virtual OSStatus destroyIOProcID(AudioObjectID device, IOProcID proc) = 0;
  virtual OSStatus deviceStart(AudioObjectID device, IOProcID proc) = 0;
  virtual OSStatus deviceStop(AudioObjectID device, IOProcID proc) = 0;

  // Output units. Finding gives `none` when no component matches; a new instance may be `none`
  // even on success.
  virtual OSStatus findNextComponent(AudioComponentRef previous,
                                     const ComponentDescription& description,
                                     AudioComponentRef& outComponent) = 0;
  virtual OSStatus newComponentInstance(AudioComponentRef component, AudioUnitRef& outUnit) = 0;
  virtual OSStatus disposeComponentInstance(AudioUnitRef unit) = 0;
  virtual OSStatus setUnitProperty(AudioUnitRef unit, std::uint32_t property, std::uint32_t scope,
                                   std::uint32_t element, const void* data, std::uint32_t size) = 0;
  virtual OSStatus getUnitProperty(AudioUnitRef unit, std::uint32_t property, std::uint32_t scope,
                                   std::uint32_t element, void* outData, std::uint32_t& ioSize) = 0;
  // Installs the callback as the unit's `setRenderCallback` property.
  virtual OSStatus setRenderCallback(AudioUnitRef unit, std::uint32_t scope, std::uint32_t element,
                                     const RenderCallback& callback) = 0;
  virtual OSStatus initializeUnit(AudioUnitRef unit) = 0;
  virtual OSStatus uninitializeUnit(AudioUnitRef unit) = 0;
  virtual OSStatus startOutputUnit(AudioUnitRef unit) = 0;
  virtual OSStatus stopOutputUnit(AudioUnitRef unit) = 0;
};

// What a tap session needs from the outside world. All of it must outlive the session.
struct SessionPorts {
  TapPlatform& platform;
  SerialQueueFactory& queues;
  // Seconds on the system uptime clock (the clock of shouldStopForBufferHealth).
  std::function<double()> uptime;
};

// A failed call of the tap platform, described with the name its audio server goes by.
inline SessionFailure tapFailure(std::string operation, OSStatus status) {
  return SessionFailure::server(std::move(operation), status, "Core Audio");
}

}  // namespace tavuno
