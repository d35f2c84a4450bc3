#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavuno {

using AudioObjectID = std::uint32_t;
using OSStatus = std::int32_t;

constexpr std::uint32_t fourCC(const char (&code)[5]) {
  return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
         std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// "dev#" for 'dev#'; unprintable bytes as '?'.
std::string fourCCText(std::uint32_t code);

constexpr AudioObjectID kAudioObjectUnknown = 0;
constexpr AudioObjectID kAudioObjectSystemObject = 1;

struct PropertyAddress {
  std::uint32_t selector = 0;
  std::uint32_t scope = 0;
  std::uint32_t element = 0;
  friend bool operator==(const PropertyAddress&, const PropertyAddress&) = default;
  friend auto operator<=>(const PropertyAddress&, const PropertyAddress&) = default;
};

namespace scope {
constexpr std::uint32_t global = fourCC("glob");
constexpr std::uint32_t input = fourCC("inpt");
constexpr std::uint32_t output = fourCC("outp");
}  // namespace scope

constexpr std::uint32_t kElementMain = 0;

namespace selector {
constexpr std::uint32_t devices = fourCC("dev#");
constexpr std::uint32_t defaultInputDevice = fourCC("dIn ");
constexpr std::uint32_t defaultOutputDevice = fourCC("dOut");
constexpr std::uint32_t processObjectList = fourCC("prs#");
constexpr std::uint32_t transportType = fourCC("tran");
constexpr std::uint32_t deviceUID = fourCC("uid ");
constexpr std::uint32_t name = fourCC("lnam");
constexpr std::uint32_t streams = fourCC("stm#");
constexpr std::uint32_t streamConfiguration = fourCC("slay");
constexpr std::uint32_t volumeScalar = fourCC("volm");
constexpr std::uint32_t mute = fourCC("mute");
constexpr std::uint32_t processIsRunningOutput = fourCC("piro");
constexpr std::uint32_t processIsRunningInput = fourCC("piri");
constexpr std::uint32_t processPID = fourCC("ppid");
constexpr std::uint32_t processDevices = fourCC("pdv#");
}  // namespace selector

namespace transport {
constexpr std::uint32_t builtIn = fourCC("bltn");
constexpr std::uint32_t bluetooth = fourCC("blue");
constexpr std::uint32_t bluetoothLE = fourCC("blea");
constexpr std::uint32_t usb = fourCC("usb ");
constexpr std::uint32_t virtualDevice = fourCC("virt");
constexpr std::uint32_t aggregate = fourCC("grup");
// An HDMI or DisplayPort output, even one on the built-in sound chip: a
// screen's speakers, never the built-in device.
constexpr std::uint32_t hdmi = fourCC("hdmi");
}  // namespace transport

// Statuses, with the platform's values.
namespace status {
constexpr OSStatus noError = 0;
constexpr OSStatus unspecified = static_cast<OSStatus>(fourCC("what"));
constexpr OSStatus unknownProperty = static_cast<OSStatus>(fourCC("who?"));
constexpr OSStatus badPropertySize = static_cast<OSStatus>(fourCC("!siz"));
constexpr OSStatus illegalOperation = static_cast<OSStatus>(fourCC("nope"));
constexpr OSStatus badObject = static_cast<OSStatus>(fourCC("!obj"));
constexpr OSStatus unsupportedOperation = static_cast<OSStatus>(fourCC("unop"));
constexpr OSStatus paramError = -50;
}  // namespace status

// One buffer of an audio buffer list, laid out as on the platform (16 bytes).
struct AudioBuffer {
  std::uint32_t mNumberChannels;
  std::uint32_t mDataByteSize;
  void* mData;
};

// A variable-length list: mNumberBuffers entries follow the header. Its
// size for n buffers is offsetof(mBuffers) + n * sizeof(AudioBuffer), so one
// buffer needs 24 bytes.
struct AudioBufferList {
  std::uint32_t mNumberBuffers;
  AudioBuffer mBuffers[1];
};

constexpr std::uint32_t audioBufferListSize(std::uint32_t buffers) {
  return static_cast<std::uint32_t>(offsetof(AudioBufferList, mBuffers) +
                                    buffers * sizeof(AudioBuffer));
}
static_assert(sizeof(AudioBuffer) == 16);
static_assert(audioBufferListSize(1) == 24);

}  // namespace tavuno
