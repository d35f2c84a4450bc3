#pragma once

#include <optional>

#include "engine/taps/StreamFormat.h"

namespace tavuno {

// The formats the standard session can pass through without conversion: an interleaved stereo
// float input and an interleaved mono or stereo float output at the same rate (within 0.01 Hz).
struct StandardFormatPolicy {
  static bool supports(const AudioStreamBasicDescription& input,
                       const AudioStreamBasicDescription& output);
};

// The formats of the duplex session: interleaved stereo float everywhere. Capture and device
// rates may differ; the output unit converts between them.
struct DuplexFormatPolicy {
  // Stereo float, a usable output rate, and a format rate within 0.01 Hz of it.
  static bool supports(const AudioStreamBasicDescription& format, double outputRate);
  // The rate frames enter the output unit at: the capture format's, when both formats are
  // stereo float with usable rates and the output rate is usable.
  static std::optional<double> clientRate(const AudioStreamBasicDescription& tap,
                                          const AudioStreamBasicDescription& capture,
                                          double outputRate);
};

}  // namespace tavuno
