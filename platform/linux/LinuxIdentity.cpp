#include "platform/linux/LinuxIdentity.h"

#include <unistd.h>

#include <unordered_set>

#include "base/text/TavunoLanguage.h"
#include "platform/linux/ProcFs.h"

namespace tavuno {

namespace {

const std::string* firstDeclared(const PropertyMaps& properties, const char* key) {
  for (const auto& map : properties) {
    auto it = map.find(key);
    if (it != map.end() && !it->second.empty()) return &it->second;
  }
  return nullptr;
}

std::string withoutDeleted(std::string path) {
  constexpr std::string_view deleted = " (deleted)";
  if (std::string_view(path).ends_with(deleted)) path.resize(path.size() - deleted.size());
  return path;
}

}  // namespace

LinuxIdentity::LinuxIdentity(DesktopIndex& desktop, Options options)
    : desktop_(desktop), options_(std::move(options)) {
  if (options_.ownPid == 0) options_.ownPid = static_cast<std::int32_t>(::getpid());
  if (options_.uid == static_cast<uid_t>(-1)) options_.uid = ::getuid();
  if (!options_.language) options_.language = [] { return TavunoLanguage::current(); };
}

std::string LinuxIdentity::procPath(std::int32_t pid, const char* file) const {
  return options_.procRoot + "/" + std::to_string(pid) + "/" + file;
}

LinuxIdentity::Facts* LinuxIdentity::facts(std::int32_t pid, bool listing,
                                           std::optional<std::uint64_t> inode) {
  if (!inode) inode = procfs::inodeOf(procPath(pid, ""));
  auto cached = inode ? cache_.find(pid) : cache_.end();
  if (!inode || cached == cache_.end() || cached->second.inode != *inode) {
    // A folder not seen before: its start time tells a recycled pid from the
    // process cached under it (whose folder the kernel may have dropped).
    auto stat = inode ? procfs::readFile(procPath(pid, "stat")) : std::nullopt;
    auto start = stat ? procfs::startTime(*stat) : std::nullopt;
    if (!start) {
      cache_.erase(pid);
      return nullptr;
    }
    auto [it, added] = cache_.try_emplace(pid);
    cached = it;
    if (added || it->second.startTime != *start) {
      it->second = Facts{.startTime = *start};
      if (auto status = procfs::readFile(procPath(pid, "status")))
        it->second.uid = procfs::realUid(*status);
    }
    it->second.inode = *inode;
  }
  Facts& facts = cached->second;
  if (listing) facts.listed = true;
  // Another user's processes are never listed, so only their owner is read.
  if (facts.complete || (listing && facts.uid != options_.uid)) return &facts;
  facts.clues.cgroup = procfs::readFile(procPath(pid, "cgroup")).value_or("");
  facts.clues.flatpakInfo =
      procfs::readRootFile(options_.procRoot + "/" + std::to_string(pid), ".flatpak-info")
          .value_or("");
  facts.clues.executable = procfs::readLink(procPath(pid, "exe")).value_or("");
  facts.comm = procfs::readFile(procPath(pid, "comm")).value_or("");
  if (!facts.comm.empty() && facts.comm.back() == '\n') facts.comm.pop_back();
  facts.complete = true;
  return &facts;
}

std::optional<ResolvedAppId> LinuxIdentity::appId(const Facts* facts,
                                                  const PropertyMaps& properties) {
  static const ProcessClues none;
  return resolveAppId(facts ? facts->clues : none, properties,
                      [this](const std::string& id) { return desktop_.find(id) != nullptr; });
}

RunningApplication LinuxIdentity::describe(std::int32_t pid, const Facts* facts,
                                           const PropertyMaps& properties,
                                           const std::optional<ResolvedAppId>& id) {
  RunningApplication app{.pid = pid};
  std::optional<std::string> name;
  if (id) {
    app.bundleIdentifier = id->id;
    name = desktop_.name(id->id, options_.language());
    if (auto icon = firstDeclared(properties, "application.icon_name"))
      declaredIcons_[id->id] = *icon;
  }
  if (!name)
    if (auto declared = firstDeclared(properties, "application.name")) name = *declared;
  if (!name && facts && !facts->comm.empty()) name = facts->comm;
  if (!name && id) name = id->id;
  app.localizedName = validUtf8(name ? *name : std::to_string(pid));
  return app;
}

std::vector<RunningApplication> LinuxIdentity::runningApplications() {
  desktop_.refreshIfChanged();
  for (auto& [pid, facts] : cache_)
    facts.listed = false;
  std::vector<RunningApplication> apps;
  std::unordered_set<std::string> seen;
  for (const auto& [pid, inode] : procfs::listProcesses(options_.procRoot)) {
    Facts* found = facts(pid, true, inode);
    if (!found || found->uid != options_.uid || pid == options_.ownPid) continue;
    const PropertyMaps properties =
        options_.serverProperties ? options_.serverProperties(pid) : PropertyMaps{};
    auto id = appId(found, properties);
    if (!id || seen.count(id->id)) continue;
    const DesktopApp* desktop = desktop_.find(id->id);
    if (!desktop || desktop->noDisplay) continue;
    seen.insert(id->id);
    apps.push_back(describe(pid, found, properties, id));
  }
  // Processes gone since the last listing leave the cache.
  std::erase_if(cache_, [](const auto& entry) { return !entry.second.listed; });
  return apps;
}

std::optional<RunningApplication> LinuxIdentity::runningApplication(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  const Facts* found = facts(pid, false, std::nullopt);
  const PropertyMaps properties =
      options_.serverProperties ? options_.serverProperties(pid) : PropertyMaps{};
  return describe(pid, found, properties, appId(found, properties));
}

std::optional<std::string> LinuxIdentity::executablePath(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  auto path = procfs::readLink(procPath(pid, "exe"));
  if (!path) return std::nullopt;
  return withoutDeleted(std::move(*path));
}

std::optional<std::string> LinuxIdentity::iconName(const std::string& appId) {
  if (auto icon = desktop_.icon(appId)) return icon;
  auto declared = declaredIcons_.find(appId);
  if (declared == declaredIcons_.end()) return std::nullopt;
  return declared->second;
}

}  // namespace tavuno
