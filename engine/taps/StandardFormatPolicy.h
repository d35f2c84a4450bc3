#pragma once

#include "engine/taps/StreamFormat.h"

namespace tavuno {

// The formats the standard session can pass through without conversion: an interleaved stereo
// float input and an interleaved mono or stereo float output at the same rate (within 0.01 Hz).
struct StandardFormatPolicy {
  static bool supports(const AudioStreamBasicDescription& input,
                       const AudioStreamBasicDescription& output);
};

}  // namespace tavuno
