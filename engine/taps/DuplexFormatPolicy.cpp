#include "engine/taps/DuplexFormatPolicy.h"

#include <cmath>

namespace tavuno {

namespace {

constexpr std::uint32_t layoutFlags = audioFormat::flagIsFloat | audioFormat::flagIsBigEndian |
                                      audioFormat::flagIsPacked | audioFormat::flagIsNonInterleaved;

bool stereoFloat(const AudioStreamBasicDescription& f) {
  return f.mFormatID == audioFormat::linearPCM && f.mBitsPerChannel == 32 &&
         (f.mFormatFlags & layoutFlags) == audioFormat::flagsNativeFloatPacked &&
         f.mChannelsPerFrame == 2 && f.mBytesPerFrame == 8 && f.mFramesPerPacket == 1 &&
         f.mBytesPerPacket == 8;
}

bool usableRate(double rate) {
  return std::isfinite(rate) && rate > 0;
}

}  // namespace

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
