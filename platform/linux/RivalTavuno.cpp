#include "platform/linux/RivalTavuno.h"

#include "platform/linux/ServerKeys.h"

namespace tavuno {

bool liveTavunoMark(std::int32_t ownerPid, std::uint64_t ownerStart,
                    std::optional<std::int32_t> creator, const ProcessStartOf& startOf) {
  if (ownerPid <= 0 || ownerStart == 0) return false;
  if (creator && *creator != ownerPid) return false;
  const std::optional<std::uint64_t> started = startOf(ownerPid);
  return started && *started == ownerStart;
}

bool ownedByTavuno(const PipeWireGraph::View& view, const PipeWireGraph::Node& node,
                   const ProcessStartOf& startOf) {
  if (node.ownerPid == 0) return false;
  std::optional<std::int32_t> creator;
  if (auto it = view.clientPids.find(node.client); node.client && it != view.clientPids.end())
    creator = it->second;
  return liveTavunoMark(node.ownerPid, node.ownerStart, creator, startOf);
}

bool ownedByRival(std::int32_t ownerPid, std::uint64_t ownerStart, std::int32_t self,
                  const ProcessStartOf& startOf, std::optional<std::int32_t> creator) {
  if (ownerPid == self) return false;
  return liveTavunoMark(ownerPid, ownerStart, creator, startOf);
}

bool heldByRival(const PipeWireGraph::View& view, std::uint32_t stream, std::int32_t self,
                 const ProcessStartOf& startOf) {
  auto rivals = [&](const PipeWireGraph::Node* node) {
    return node && node->ownerPid != self && ownedByTavuno(view, *node, startOf);
  };
  // Where the stream is bound decides while the metadata says: a link left from before a move
  // is no claim. Without a target (or while the server does not report them) the links do.
  if (const auto target = view.target(stream, serverkey::targetObject))
    return rivals(view.nodeNamed(*target));
  for (std::uint32_t input : view.linkedTo(stream))
    if (rivals(view.node(input))) return true;
  return false;
}

}  // namespace tavuno
