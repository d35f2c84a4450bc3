#pragma once

#include <chrono>
#include <functional>

namespace tavuno {

using WallTime = std::chrono::system_clock::time_point;
// The injected wall clock: `now()`.
using WallClock = std::function<WallTime()>;

inline WallClock systemWallClock() {
  return [] { return std::chrono::system_clock::now(); };
}

}  // namespace tavuno
