#include "engine/taps/StreamFormat.h"

#include <charconv>
#include <cmath>

namespace tavuno {

AudioStreamBasicDescription floatFormat(double sampleRate, std::uint32_t channels) {
  return {.mSampleRate = sampleRate,
          .mFormatID = audioFormat::linearPCM,
          .mFormatFlags = audioFormat::flagsNativeFloatPacked,
          .mBytesPerPacket = 4 * channels,
          .mFramesPerPacket = 1,
          .mBytesPerFrame = 4 * channels,
          .mChannelsPerFrame = channels,
          .mBitsPerChannel = 32,
          .mReserved = 0};
}

namespace {

// Shortest text that reads back as the same double, always with a fractional part or an
// exponent ("48000.0", "0.003", "1e+20"); plain decimals for the range rates live in.
std::string rateText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
  auto result = plain
                    ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                    : std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

}  // namespace

std::string formatDescription(const AudioStreamBasicDescription& f) {
  std::string text = "AudioStreamBasicDescription(mSampleRate: " + rateText(f.mSampleRate);
  const std::pair<const char*, std::uint32_t> fields[] = {
      {"mFormatID", f.mFormatID},
      {"mFormatFlags", f.mFormatFlags},
      {"mBytesPerPacket", f.mBytesPerPacket},
      {"mFramesPerPacket", f.mFramesPerPacket},
      {"mBytesPerFrame", f.mBytesPerFrame},
      {"mChannelsPerFrame", f.mChannelsPerFrame},
      {"mBitsPerChannel", f.mBitsPerChannel},
      {"mReserved", f.mReserved}};
  for (const auto& [name, value] : fields) {
    text += ", ";
    text += name;
    text += ": ";
    text += std::to_string(value);
  }
  return text + ")";
}

}  // namespace tavuno
