#include "platform/linux/ProcessLookup.h"

#include "platform/linux/AppIdResolver.h"
#include "platform/linux/ProcFs.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

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

ProcessLookup procProcessLookup(std::string procRoot,
                                std::function<std::chrono::steady_clock::time_point()> now) {
  struct Cache {
    std::mutex mutex;
    std::map<std::pair<std::int32_t, std::string>, std::pair<std::int32_t, std::uint64_t>> hosts;
    // Pairs no process answered, and when: a client that claims a sandbox it is not in would
    // otherwise cost a walk over every process of the system at each snapshot.
    std::map<std::pair<std::int32_t, std::string>, std::chrono::steady_clock::time_point> misses;
  };
  static constexpr auto missKept = std::chrono::seconds(10);
  static constexpr std::size_t kept = 512;  // pairs of each kind; a flood of claims is forgotten
  auto cache = std::make_shared<Cache>();
  ProcessLookup lookup;
  lookup.startTime = processStartTime;
  lookup.hostPid = [cache, procRoot = std::move(procRoot), now = std::move(now)](
                       std::int32_t sandboxPid,
                       const std::string& appId) -> std::optional<std::int32_t> {
    std::lock_guard lock(cache->mutex);
    auto key = std::make_pair(sandboxPid, appId);
    auto it = cache->hosts.find(key);
    if (it != cache->hosts.end()) {
      if (processStartTime(it->second.first) == it->second.second) return it->second.first;
      cache->hosts.erase(it);
    }
    const auto at = now();
    if (auto miss = cache->misses.find(key); miss != cache->misses.end()) {
      if (at - miss->second < missKept) return std::nullopt;
      cache->misses.erase(miss);
    }
    auto host = flatpakHostPid(procRoot, sandboxPid, appId);
    if (!host) {
      if (cache->misses.size() >= kept) cache->misses.clear();
      cache->misses[key] = at;
      return std::nullopt;
    }
    if (auto start = processStartTime(*host)) {
      if (cache->hosts.size() >= kept) cache->hosts.clear();
      cache->hosts[key] = {*host, *start};
    }
    return host;
  };
  return lookup;
}

}  // namespace tavuno
