#include "engine/AppDiscovery.h"

#include <algorithm>
#include <set>

#include "engine/ApplicationIdentity.h"
#include "hal/HalReaders.h"

namespace tavuno {

namespace {

bool flagSet(Hal& hal, AudioObjectID process, std::uint32_t selector) {
  return readUInt32(hal, process, globalAddress(selector)).value_or(0) != 0;
}

template <class T>
std::vector<T> sortedByName(std::vector<T> items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const T& a, const T& b) { return nameOrderedBefore(a.name, b.name); });
  return items;
}

}  // namespace

Discovery discoverActiveApps(
    Hal& hal, IdentityPort& identity,
    const std::function<std::optional<std::vector<AudioObjectID>>(AudioObjectID)>& outputDevices) {
  Discovery result;
  std::set<std::string> recording;
  std::map<std::string, std::set<AudioObjectID>> nativeOutputs;
  std::set<std::string> unreported;
  const std::int32_t ownPid = identity.ownPid();

  for (AudioObjectID process :
       readObjectIDs(hal, kAudioObjectSystemObject, globalAddress(selector::processObjectList))) {
    const bool output = flagSet(hal, process, selector::processIsRunningOutput);
    const bool input = flagSet(hal, process, selector::processIsRunningInput);
    if (!output && !input) continue;
    const auto pid = static_cast<std::int32_t>(
        readUInt32(hal, process, globalAddress(selector::processPID)).value_or(0));
    if (pid == ownPid) continue;
    auto app = ApplicationIdentity::resolveProcess(identity, pid);
    if (!app) continue;
    if (input) recording.insert(app->id);
    if (!output) continue;

    if (auto devices = outputDevices(process)) {
      nativeOutputs[app->id].insert(devices->begin(), devices->end());
    } else {
      unreported.insert(app->id);
    }
    ActiveApp& entry = result.apps[app->id];
    std::vector<AudioObjectID> processes = std::move(entry.processes);
    processes.push_back(process);
    std::sort(processes.begin(), processes.end());
    entry =
        ActiveApp{app->id, app->name, std::move(processes), app->bundleURL, false, std::nullopt};
  }

  for (auto& [id, app] : result.apps) {
    app.inputActive = recording.count(id) > 0;
    auto native = nativeOutputs.find(id);
    if (!unreported.count(id) && native != nativeOutputs.end())
      app.nativeOutputIDs =
          std::vector<AudioObjectID>(native->second.begin(), native->second.end());
  }
  std::vector<ActiveApp> list;
  list.reserve(result.apps.size());
  for (const auto& [id, app] : result.apps)
    list.push_back(app);
  result.sorted = sortedByName(std::move(list));
  return result;
}

std::vector<RunningApp> listRunningApps(IdentityPort& identity) {
  const std::int32_t ownPid = identity.ownPid();
  std::map<std::string, RunningApp> byId;
  for (const auto& app : identity.runningApplications()) {
    if (app.pid == ownPid) continue;
    auto resolved = ApplicationIdentity::resolve(identity, app);
    if (!resolved || resolved->id.starts_with("pid:")) continue;
    byId.emplace(resolved->id, RunningApp{resolved->id, resolved->name});
  }
  std::vector<RunningApp> list;
  list.reserve(byId.size());
  for (const auto& [id, app] : byId)
    list.push_back(app);
  return sortedByName(std::move(list));
}

}  // namespace tavuno
