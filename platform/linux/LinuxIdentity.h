#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/IdentityPort.h"
#include "platform/linux/AppIdResolver.h"
#include "platform/linux/DesktopIndex.h"

namespace tavuno {

// Applications on a Linux desktop, named from /proc, the audio server's
// properties and the installed desktop files (see `resolveAppId`). There are
// no bundles: a running application has its app id as bundle identifier and
// its display name (never empty), or no identifier, so the core names it
// "pid:<pid>".
//
// Main thread only. What /proc tells about a process is read once per pid and
// start time: the refresh every two seconds lists /proc and reads a process's
// files only when its folder is new (see `procfs::ProcEntry`), so a recycled
// pid is read afresh.
class LinuxIdentity : public IdentityPort {
 public:
  struct Options {
    std::string procRoot = "/proc";
    // The server's properties of a pid's streams and clients; none when not set.
    std::function<PropertyMaps(std::int32_t pid)> serverProperties;
    // Tavuno's language ("pt" or "en"), for display names.
    std::function<std::string()> language;
    std::int32_t ownPid = 0;             // 0: this process
    uid_t uid = static_cast<uid_t>(-1);  // whose applications are listed; -1: ours
  };

  // `desktop` outlives the identity.
  LinuxIdentity(DesktopIndex& desktop, Options options);

  // The user's processes whose app id names a desktop file shown in menus, one
  // per app id (the lowest pid), ascending by pid.
  std::vector<RunningApplication> runningApplications() override;
  std::optional<RunningApplication> runningApplication(std::int32_t pid) override;
  std::optional<BundleInfo> openBundle(const std::string&) override { return std::nullopt; }
  std::optional<std::string> executablePath(std::int32_t pid) override;
  std::int32_t ownPid() override { return options_.ownPid; }

  // The icon for an app id: its desktop file's Icon=, else the icon name its
  // audio streams declared when it was last named.
  std::optional<std::string> iconName(const std::string& appId);

 private:
  // What /proc said about one process when first seen.
  struct Facts {
    std::uint64_t startTime = 0;
    std::uint64_t inode = 0;  // of /proc/<pid> when last checked
    std::optional<std::uint32_t> uid;
    bool complete = false;  // cgroup, sandbox, executable and name read
    bool listed = false;    // seen by the latest listing
    ProcessClues clues;
    std::string comm;
  };

  std::string procPath(std::int32_t pid, const char* file) const;
  // The cached facts of a live pid, read afresh when its start time changed;
  // nothing when its stat cannot be read. `inode` is its folder's, when the
  // listing gave it. `listing` reads only the owner of another user's process.
  Facts* facts(std::int32_t pid, bool listing, std::optional<std::uint64_t> inode);
  std::optional<ResolvedAppId> appId(const Facts* facts, const PropertyMaps& properties);
  RunningApplication describe(std::int32_t pid, const Facts* facts, const PropertyMaps& properties,
                              const std::optional<ResolvedAppId>& id);

  DesktopIndex& desktop_;
  Options options_;
  std::unordered_map<std::int32_t, Facts> cache_;
  std::unordered_map<std::string, std::string> declaredIcons_;  // app id → icon name
};

}  // namespace tavuno
