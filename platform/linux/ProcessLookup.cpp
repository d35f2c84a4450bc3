#include "platform/linux/ProcessLookup.h"

#include <dirent.h>

#include <charconv>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

namespace tavuno {

namespace {

std::optional<std::int64_t> parseNumber(const std::string& text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> readStartTime(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name (field 2) may hold spaces and parentheses: the fields
  // after it start past its last ')'.
  auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream rest(line.substr(close + 1));
  std::string field;
  // Fields 3…21 come first; field 22 is the start time.
  for (int i = 3; i <= 22; ++i)
    if (!(rest >> field)) return std::nullopt;
  auto value = parseNumber(field);
  if (!value || *value < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*value);
}

// The last pid of the "NSpid:" line of /proc/<pid>/status: the pid as the
// innermost namespace sees it.
std::optional<std::int32_t> innermostPid(std::int32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with("NSpid:")) continue;
    std::istringstream fields(line.substr(6));
    std::string last, field;
    while (fields >> field)
      last = field;
    auto value = parseNumber(last);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
  }
  return std::nullopt;
}

bool flatpakInfoNames(std::int32_t pid, const std::string& appId) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/root/.flatpak-info");
  std::string line;
  bool application = false;
  while (std::getline(in, line)) {
    if (line.starts_with("[")) application = line == "[Application]";
    if (application && line == "name=" + appId) return true;
  }
  return false;
}

std::optional<std::int32_t> scanHostPid(std::int32_t sandboxPid, const std::string& appId) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return std::nullopt;
  while (dirent* entry = readdir(proc.get())) {
    auto pid = parseNumber(entry->d_name);
    if (!pid || *pid <= 0 || *pid > INT32_MAX) continue;
    const auto host = static_cast<std::int32_t>(*pid);
    if (host == sandboxPid) continue;  // the same number outside: not in a namespace
    if (innermostPid(host) != sandboxPid) continue;
    if (flatpakInfoNames(host, appId)) return host;
  }
  return std::nullopt;
}

}  // namespace

ProcessLookup procProcessLookup() {
  struct Cache {
    std::mutex mutex;
    std::map<std::pair<std::int32_t, std::string>, std::pair<std::int32_t, std::uint64_t>> hosts;
  };
  auto cache = std::make_shared<Cache>();
  ProcessLookup lookup;
  lookup.startTime = readStartTime;
  lookup.hostPid = [cache](std::int32_t sandboxPid,
                           const std::string& appId) -> std::optional<std::int32_t> {
    std::lock_guard lock(cache->mutex);
    auto key = std::make_pair(sandboxPid, appId);
    auto it = cache->hosts.find(key);
    if (it != cache->hosts.end()) {
      if (readStartTime(it->second.first) == it->second.second) return it->second.first;
      cache->hosts.erase(it);
    }
    auto host = scanHostPid(sandboxPid, appId);
    if (!host) return std::nullopt;
    if (auto start = readStartTime(*host)) cache->hosts[key] = {*host, *start};
    return host;
  };
  return lookup;
}

}  // namespace tavuno
