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
  // Where the stream is bound decides while the metadata says: a link left from before a move
  // is no claim. Without a target (or while the server does not report them) the links do.
  if (const auto target = view.target(stream, "target.object"))
    return rivals(view.nodeNamed(*target));
  for (std::uint32_t input : view.linkedTo(stream))
    if (rivals(view.node(input))) return true;
  return false;
}

}  // namespace tavuno
