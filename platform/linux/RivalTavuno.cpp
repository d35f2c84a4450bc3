#include "platform/linux/RivalTavuno.h"

namespace tavuno {

bool ownedByRival(std::int32_t ownerPid, std::uint64_t ownerStart, std::int32_t self,
                  const ProcessStartOf& startOf) {
  if (ownerPid <= 0 || ownerPid == self) return false;
  const std::optional<std::uint64_t> started = startOf(ownerPid);
  if (!started) return false;
  return ownerStart == 0 || *started == ownerStart;
}

bool heldByRival(const PipeWireGraph::View& view, std::uint32_t stream, std::int32_t self,
                 const ProcessStartOf& startOf) {
  auto rivals = [&](const PipeWireGraph::Node* node) {
    return node && ownedByRival(node->ownerPid, node->ownerStart, self, startOf);
  };
  for (std::uint32_t input : view.linkedTo(stream))
    if (rivals(view.node(input))) return true;
  const auto target = view.target(stream, "target.object");
  return target && rivals(view.nodeNamed(*target));
}

}  // namespace tavuno
