#include "devices/VolumePolicy.h"

#include <algorithm>
#include <cmath>

namespace tavuno {

std::vector<float> VolumePolicy::scaled(const std::vector<float>& current, float target,
                                        const std::vector<float>& fallback) {
  target = std::isfinite(target) ? std::clamp(target, 0.0f, 1.0f) : 0.0f;
  auto loudest = [](const std::vector<float>& values) {
    float m = 0;
    for (float v : values)
      if (v > m) m = v;
    return m;
  };
  const std::vector<float>* shape = &current;
  if (!(loudest(current) > 0) && fallback.size() == current.size()) shape = &fallback;
  const float m = loudest(*shape);
  std::vector<float> result;
  result.reserve(current.size());
  if (m > 0) {
    for (float entry : *shape) {
      // A channel the hardware reported as NaN is written as silence, not NaN.
      float value = target * (entry / m);
      result.push_back(std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f);
    }
  } else {
    result.assign(current.size(), target);
  }
  return result;
}

}  // namespace tavuno
