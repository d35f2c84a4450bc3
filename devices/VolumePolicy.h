#pragma once

#include <vector>

namespace tavuno::VolumePolicy {

// Per-channel values whose loudest channel is `target`, keeping the balance
// of `current` (or of `fallback` while every channel is silent).
std::vector<float> scaled(const std::vector<float>& current, float target,
                          const std::vector<float>& fallback);

}  // namespace tavuno::VolumePolicy
