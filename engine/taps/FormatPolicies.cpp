#include "engine/taps/FormatPolicies.h"

#include <cmath>

namespace tavuno {

namespace {

constexpr std::uint32_t layoutFlags = audioFormat::flagIsFloat | audioFormat::flagIsBigEndian |
                                      audioFormat::flagIsPacked | audioFormat::flagIsNonInterleaved;

bool nativeInterleavedFloat(const AudioStreamBasicDescription& f) {
  return f.mFormatID == audioFormat::linearPCM && f.mBitsPerChannel == 32 &&
         (f.mFormatFlags & layoutFlags) == audioFormat::flagsNativeFloatPacked;
}

bool stereoFloat(const AudioStreamBasicDescription& f) {
  return nativeInterleavedFloat(f) && f.mChannelsPerFrame == 2 && f.mBytesPerFrame == 8 &&
         f.mFramesPerPacket == 1 && f.mBytesPerPacket == 8;
}

bool usableRate(double rate) {
  return std::isfinite(rate) && rate > 0;
}

}  // namespace

bool StandardFormatPolicy::supports(const AudioStreamBasicDescription& input,
                                    const AudioStreamBasicDescription& output) {
  if (!stereoFloat(input) || !nativeInterleavedFloat(output)) return false;
  const bool monoOutput =
      output.mChannelsPerFrame == 1 && output.mBytesPerFrame == 4 && output.mBytesPerPacket == 4;
  const bool stereoOutput =
      output.mChannelsPerFrame == 2 && output.mBytesPerFrame == 8 && output.mBytesPerPacket == 8;
  if (!(monoOutput || stereoOutput) || output.mFramesPerPacket != 1) return false;
  return usableRate(input.mSampleRate) && usableRate(output.mSampleRate) &&
         std::fabs(input.mSampleRate - output.mSampleRate) < 0.01;
}

bool DuplexFormatPolicy::supports(const AudioStreamBasicDescription& format, double outputRate) {
  return stereoFloat(format) && usableRate(outputRate) && std::isfinite(format.mSampleRate) &&
         std::fabs(format.mSampleRate - outputRate) < 0.01;
}

std::optional<double> DuplexFormatPolicy::clientRate(const AudioStreamBasicDescription& tap,
                                                     const AudioStreamBasicDescription& capture,
                                                     double outputRate) {
  if (!usableRate(outputRate)) return std::nullopt;
  if (!stereoFloat(tap) || !usableRate(tap.mSampleRate)) return std::nullopt;
  if (!stereoFloat(capture) || !usableRate(capture.mSampleRate)) return std::nullopt;
  return capture.mSampleRate;
}

}  // namespace tavuno
