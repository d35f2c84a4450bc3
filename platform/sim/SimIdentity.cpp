#include "platform/sim/SimIdentity.h"

#include <algorithm>

namespace tavuno {

std::optional<RunningApplication> SimIdentity::runningApplication(std::int32_t pid) {
  for (const auto& app : running_)
    if (app.pid == pid) return app;
  return std::nullopt;
}

std::optional<BundleInfo> SimIdentity::openBundle(const std::string& path) {
  auto it = bundles_.find(path);
  if (it == bundles_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> SimIdentity::executablePath(std::int32_t pid) {
  auto it = executables_.find(pid);
  if (it == executables_.end()) return std::nullopt;
  return it->second;
}

void SimIdentity::removeRunning(std::int32_t pid) {
  running_.erase(std::remove_if(running_.begin(), running_.end(),
                                [pid](const RunningApplication& a) { return a.pid == pid; }),
                 running_.end());
}

}  // namespace tavuno
