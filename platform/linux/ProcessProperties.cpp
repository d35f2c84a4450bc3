#include "platform/linux/ProcessProperties.h"

namespace tavuno {

std::vector<std::map<std::string, std::string>> processProperties(const Snapshot& snapshot,
                                                                  std::int32_t pid) {
  std::vector<std::map<std::string, std::string>> lists;
  const ServerState& state = snapshot.state;
  for (const ProcessSource& source : snapshot.table.sourcesOfPid(pid)) {
    const Proplist* properties = nullptr;
    switch (source.kind) {
      case ProcessSource::Kind::client: {
        auto it = state.clients.find(source.index);
        if (it != state.clients.end()) properties = &it->second.properties;
        break;
      }
      case ProcessSource::Kind::sinkInput: {
        auto it = state.sinkInputs.find(source.index);
        if (it != state.sinkInputs.end()) properties = &it->second.properties;
        break;
      }
      case ProcessSource::Kind::sourceOutput: {
        auto it = state.sourceOutputs.find(source.index);
        if (it != state.sourceOutputs.end()) properties = &it->second.properties;
        break;
      }
    }
    if (properties) lists.push_back(*properties);
  }
  return lists;
}

ProcessPropertiesSource processPropertiesSource(const SnapshotHub& hub) {
  return [&hub](std::int32_t pid) { return processProperties(*hub.snapshot(), pid); };
}

}  // namespace tavuno
