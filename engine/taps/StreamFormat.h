#pragma once

#include <cstdint>
#include <string>

#include "hal/HalTypes.h"

namespace tavuno {

// The platform's stream-format record: nine fields in this order, 40 bytes, as the tap, stream
// and output-unit properties carry it.
struct AudioStreamBasicDescription {
  double mSampleRate = 0;
  std::uint32_t mFormatID = 0;
  std::uint32_t mFormatFlags = 0;
  std::uint32_t mBytesPerPacket = 0;
  std::uint32_t mFramesPerPacket = 0;
  std::uint32_t mBytesPerFrame = 0;
  std::uint32_t mChannelsPerFrame = 0;
  std::uint32_t mBitsPerChannel = 0;
  std::uint32_t mReserved = 0;

  friend bool operator==(const AudioStreamBasicDescription&,
                         const AudioStreamBasicDescription&) = default;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

namespace audioFormat {
constexpr std::uint32_t linearPCM = fourCC("lpcm");
constexpr std::uint32_t flagIsFloat = 0x1;
constexpr std::uint32_t flagIsBigEndian = 0x2;
constexpr std::uint32_t flagIsPacked = 0x8;
constexpr std::uint32_t flagIsNonInterleaved = 0x20;
// Native-endian packed floats, as the sessions require them.
constexpr std::uint32_t flagsNativeFloatPacked = flagIsFloat | flagIsPacked;
}  // namespace audioFormat

// Interleaved 32-bit float linear PCM with `channels` channels (1 or 2 in practice).
AudioStreamBasicDescription floatFormat(double sampleRate, std::uint32_t channels);

// "AudioStreamBasicDescription(mSampleRate: 48000.0, mFormatID: 1819304813, ...)": the type name
// and the nine fields in order, the rate as a decimal with a fractional part and the others as
// unsigned decimals. Independent of the language: it is shown inside a translated message.
std::string formatDescription(const AudioStreamBasicDescription& format);

}  // namespace tavuno
