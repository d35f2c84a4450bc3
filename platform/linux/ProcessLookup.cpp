#include "platform/linux/ProcessLookup.h"

#include "platform/linux/FlatpakHostPid.h"

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
    auto host = flatpakHostPid("/proc", sandboxPid, appId);
    if (!host) return std::nullopt;
    if (auto start = readStartTime(*host)) cache->hosts[key] = {*host, *start};
    return host;
  };
  return lookup;
}

}  // namespace tavuno
