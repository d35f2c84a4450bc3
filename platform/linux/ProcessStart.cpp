#include "platform/linux/ProcessStart.h"

#include <string>

#include "platform/linux/ProcFs.h"

namespace tavuno {

std::optional<std::uint64_t> processStartTime(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  const auto stat = procfs::readFile("/proc/" + std::to_string(pid) + "/stat");
  return stat ? procfs::startTime(*stat) : std::nullopt;
}

}  // namespace tavuno
