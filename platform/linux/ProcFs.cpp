#include "platform/linux/ProcFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

#include "base/text/Integer.h"
#include "platform/linux/SmallFile.h"

namespace tavuno::procfs {

namespace {

// The words of one line, split on spaces and tabs.
std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    i = line.find_first_not_of(" \t", i);
    if (i == std::string_view::npos) break;
    std::size_t end = std::min(line.find_first_of(" \t", i), line.size());
    out.push_back(line.substr(i, end - i));
    i = end;
  }
  return out;
}

// The rest of the line that starts with `key` in a status text.
std::optional<std::string_view> statusLine(std::string_view status, std::string_view key) {
  std::size_t at = 0;
  while (at < status.size()) {
    std::size_t end = std::min(status.find('\n', at), status.size());
    std::string_view line = status.substr(at, end - at);
    if (line.starts_with(key)) return line.substr(key.size());
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readFile(const std::string& path, std::size_t limit) {
  return readSmallFile(AT_FDCWD, path, limit);
}

std::optional<std::string> readRootFile(const std::string& processDir, const std::string& name,
                                        std::size_t limit) {
  return readSmallFile(AT_FDCWD, processDir + "/root/" + name, limit, FinalLink::refuse);
}

std::optional<std::string> readLink(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::vector<ProcEntry> listProcesses(const std::string& procRoot) {
  std::vector<ProcEntry> entries;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(procRoot.c_str()), ::closedir);
  if (!dir) return entries;
  while (const dirent* entry = ::readdir(dir.get())) {
    auto pid = parseInteger<std::int32_t>(entry->d_name);
    if (pid && *pid > 0) entries.push_back({*pid, static_cast<std::uint64_t>(entry->d_ino)});
  }
  std::sort(entries.begin(), entries.end(),
            [](const ProcEntry& a, const ProcEntry& b) { return a.pid < b.pid; });
  return entries;
}

std::vector<std::int32_t> listPids(const std::string& procRoot) {
  std::vector<std::int32_t> pids;
  for (const auto& entry : listProcesses(procRoot))
    pids.push_back(entry.pid);
  return pids;
}

std::optional<std::uint64_t> inodeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_ino);
}

std::optional<std::uint64_t> startTime(std::string_view stat) {
  const auto close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  const auto fields = words(stat.substr(close + 1, stat.find('\n', close) - close - 1));
  // The words after the name are fields 3, 4, …; field 22 is the 20th.
  if (fields.size() < 20) return std::nullopt;
  // A zombie (or a dead task) has died already; only its parent has not
  // collected it yet, and its pid may soon be another's.
  if (fields[0] == "Z" || fields[0] == "X") return std::nullopt;
  return parseInteger<std::uint64_t>(fields[19]);
}

std::optional<std::uint32_t> realUid(std::string_view status) {
  auto line = statusLine(status, "Uid:");
  if (!line) return std::nullopt;
  auto fields = words(*line);
  if (fields.empty()) return std::nullopt;
  return parseInteger<std::uint32_t>(fields[0]);
}

std::vector<std::int32_t> namespacePids(std::string_view status) {
  std::vector<std::int32_t> pids;
  auto line = statusLine(status, "NSpid:");
  if (!line) return pids;
  for (auto field : words(*line)) {
    auto pid = parseInteger<std::int32_t>(field);
    if (!pid) return {};
    pids.push_back(*pid);
  }
  return pids;
}

}  // namespace tavuno::procfs

namespace tavuno {

std::optional<std::uint64_t> processStartTime(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  const auto stat = procfs::readFile("/proc/" + std::to_string(pid) + "/stat");
  return stat ? procfs::startTime(*stat) : std::nullopt;
}

}  // namespace tavuno
