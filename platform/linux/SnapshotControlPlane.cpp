#include "platform/linux/SnapshotControlPlane.h"

#include <cstring>

#include "platform/linux/ProcFs.h"

namespace tavuno {

std::optional<SessionControlPlane::Output> SnapshotControlPlane::output(
    AudioObjectID device) const {
  SnapshotRef snapshot = hub_.snapshot();
  if (!snapshot || !snapshot->connected) return std::nullopt;
  const DeviceFacts* facts = snapshot->table.device(device);
  if (!facts || !facts->output) return std::nullopt;
  Output out;
  out.nodeName = facts->serverName;
  out.channels = facts->volume.size() == 1 ? 1 : 2;
  if (facts->rate) out.rate = facts->rate;
  return out;
}

std::optional<SessionControlPlane::Process> SnapshotControlPlane::process(
    AudioObjectID object) const {
  SnapshotRef snapshot = hub_.snapshot();
  if (!snapshot) return std::nullopt;
  const PropertyValue* value =
      snapshot->table.find(object, {selector::processPID, scope::global, kElementMain});
  if (!value || value->data.size() != sizeof(std::int32_t)) return std::nullopt;
  std::int32_t pid = 0;
  std::memcpy(&pid, value->data.data(), sizeof pid);
  auto start = processStartTime(pid);
  if (!start) return std::nullopt;
  return Process{pid, *start};
}

bool SnapshotControlPlane::serverIsPipeWire() const {
  SnapshotRef snapshot = hub_.snapshot();
  return snapshot && snapshot->state.info.serverName.find("PipeWire") != std::string::npos;
}

}  // namespace tavuno
