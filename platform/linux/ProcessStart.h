#pragma once

#include <cstdint>
#include <optional>

namespace tavuno {

// The start time of a process (field 22 of /proc/<pid>/stat, clock ticks since boot): with the
// pid it names one process for good, since pids are recycled. Nothing when it is not running.
std::optional<std::uint64_t> processStartTime(std::int32_t pid);

}  // namespace tavuno
