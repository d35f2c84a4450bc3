#include "platform/linux/FlatpakHostPid.h"

#include "platform/linux/AppIdResolver.h"
#include "platform/linux/ProcFs.h"

namespace tavuno {

std::optional<std::int32_t> flatpakHostPid(const std::string& procRoot, std::int32_t sandboxPid,
                                           const std::string& appId) {
  if (sandboxPid <= 0 || appId.empty()) return std::nullopt;
  std::optional<std::int32_t> found;
  for (std::int32_t pid : procfs::listPids(procRoot)) {
    const std::string dir = procRoot + "/" + std::to_string(pid);
    auto status = procfs::readFile(dir + "/status");
    if (!status) continue;
    const auto pids = procfs::namespacePids(*status);
    if (pids.size() < 2 || pids.back() != sandboxPid) continue;
    auto info = procfs::readRootFile(dir, ".flatpak-info");
    if (!info || flatpakAppName(*info) != appId) continue;
    if (found) return std::nullopt;  // ambiguous
    found = pid;
  }
  return found;
}

}  // namespace tavuno
