#include "engine/taps/StandardFormatPolicy.h"

#include <cmath>

namespace tavuno {

namespace {

constexpr std::uint32_t layoutFlags = audioFormat::flagIsFloat | audioFormat::flagIsBigEndian |
                                      audioFormat::flagIsPacked | audioFormat::flagIsNonInterleaved;

bool nativeInterleavedFloat(const AudioStreamBasicDescription& f) {
  return f.mFormatID == audioFormat::linearPCM && f.mBitsPerChannel == 32 &&
         (f.mFormatFlags & layoutFlags) == audioFormat::flagsNativeFloatPacked;
}

bool usableRate(double rate) {
  return std::isfinite(rate) && rate > 0;
}

}  // namespace

bool StandardFormatPolicy::supports(const AudioStreamBasicDescription& input,
                                    const AudioStreamBasicDescription& output) {
  if (!nativeInterleavedFloat(input) || !nativeInterleavedFloat(output)) return false;
  const bool stereoInput = input.mChannelsPerFrame == 2 && input.mBytesPerFrame == 8 &&
                           input.mFramesPerPacket == 1 && input.mBytesPerPacket == 8;
  const bool monoOutput =
      output.mChannelsPerFrame == 1 && output.mBytesPerFrame == 4 && output.mBytesPerPacket == 4;
  const bool stereoOutput =
      output.mChannelsPerFrame == 2 && output.mBytesPerFrame == 8 && output.mBytesPerPacket == 8;
  if (!stereoInput || !(monoOutput || stereoOutput) || output.mFramesPerPacket != 1) return false;
  return usableRate(input.mSampleRate) && usableRate(output.mSampleRate) &&
         std::fabs(input.mSampleRate - output.mSampleRate) < 0.01;
}

}  // namespace tavuno
