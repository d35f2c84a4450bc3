#include <gtest/gtest.h>

#include <map>

#include "platform/linux/RivalTavuno.h"

namespace tavuno {
namespace {

constexpr std::int32_t self = 100;

// Pid 200 runs since 7, pid 300 since 9; nothing else runs.
std::optional<std::uint64_t> running(std::int32_t pid) {
  static const std::map<std::int32_t, std::uint64_t> started = {{self, 1}, {200, 7}, {300, 9}};
  auto it = started.find(pid);
  if (it == started.end()) return std::nullopt;
  return it->second;
}

PipeWireGraph::Node node(std::uint32_t id, std::string name, std::int32_t ownerPid = 0,
                         std::uint64_t ownerStart = 0) {
  PipeWireGraph::Node n;
  n.id = id;
  n.name = std::move(name);
  n.mediaClass = "Audio/Sink";
  n.ownerPid = ownerPid;
  n.ownerStart = ownerStart;
  return n;
}

TEST(RivalTavuno, OwnerMarksOfAnotherLiveProcessOnly) {
  EXPECT_FALSE(ownedByRival(0, 0, self, running));     // not a Tavuno node
  EXPECT_FALSE(ownedByRival(self, 1, self, running));  // this Tavuno's
  EXPECT_FALSE(ownedByRival(self, 0, self, running));
  EXPECT_FALSE(ownedByRival(400, 0, self, running));  // its Tavuno ended
  EXPECT_FALSE(ownedByRival(200, 0, self, running));  // no start time carried: proves nothing
  EXPECT_TRUE(ownedByRival(200, 7, self, running));
  EXPECT_FALSE(ownedByRival(300, 7, self, running));  // the pid now names another process
  EXPECT_FALSE(ownedByRival(-5, 0, self, running));
  // Where the server names the node's maker, the mark must name that very process.
  EXPECT_TRUE(ownedByRival(200, 7, self, running, 200));
  EXPECT_FALSE(ownedByRival(200, 7, self, running, 4242));  // a copied mark
}

// Rows: a node is a Tavuno's only when its mark names a live process by pid and start time, made
// by that process as far as the server knows: any client can set the key on its own streams.
TEST(RivalTavuno, AMarkProvesOwnershipOnlyWithItsStartAndItsMaker) {
  PipeWireGraph::View view;
  view.clientPids = {{50, 200}, {51, 4242}};
  auto marked = [](std::int32_t pid, std::uint64_t start, std::uint32_t client) {
    PipeWireGraph::Node n;
    n.ownerPid = pid;
    n.ownerStart = start;
    n.client = client;
    return n;
  };
  EXPECT_TRUE(ownedByTavuno(view, marked(200, 7, 50), running));   // made by the Tavuno it names
  EXPECT_TRUE(ownedByTavuno(view, marked(200, 7, 0), running));    // maker not known
  EXPECT_TRUE(ownedByTavuno(view, marked(200, 7, 52), running));   // client not (yet) seen
  EXPECT_FALSE(ownedByTavuno(view, marked(200, 7, 51), running));  // a player copying the mark
  EXPECT_FALSE(ownedByTavuno(view, marked(200, 0, 50), running));  // the key alone
  EXPECT_FALSE(ownedByTavuno(view, marked(200, 8, 50), running));
  EXPECT_FALSE(ownedByTavuno(view, marked(1, 1, 0), running));  // no such process
  EXPECT_FALSE(ownedByTavuno(view, marked(0, 0, 0), running));  // unmarked

  // A rival's tap with a copied mark holds nothing.
  view.nodes[20] = node(20, "tavuno.tap.200.1", 200, 7);
  view.nodes[20].client = 51;
  view.links[1] = {10, 20};
  EXPECT_FALSE(heldByRival(view, 10, self, running));
  view.nodes[20].client = 50;
  EXPECT_TRUE(heldByRival(view, 10, self, running));
}

// Rows: a stream is another Tavuno's when it is bound for one of its live taps (its target
// names one), or, without a target, plays into one; this Tavuno's taps, a dead one's and plain
// sinks are not.
TEST(RivalTavuno, StreamsInOrBoundForALiveRivalsTap) {
  PipeWireGraph::View view;
  for (const auto& n : {node(20, "tavuno.tap.200.1", 200, 7), node(21, "tavuno.tap.100.1", self, 1),
                        node(22, "tavuno.tap.400.1", 400, 3), node(23, "builtin_speakers"),
                        node(24, "tavuno.tap.300.1", 300, 7)})
    view.nodes[n.id] = n;
  std::uint32_t link = 1000;
  auto links = [&](std::uint32_t stream, std::uint32_t sink) {
    view.links[link++] = {stream, sink};
  };
  links(10, 20);  // in a live rival's tap
  links(11, 21);  // in this Tavuno's
  links(12, 22);  // in a dead Tavuno's
  links(13, 23);  // playing to the speakers, but moved to a rival's tap
  view.targets[{13, "target.object"}] = "tavuno.tap.200.1";
  links(14, 20);  // leaving a rival's tap for the speakers
  view.targets[{14, "target.object"}] = "builtin_speakers";
  links(15, 24);  // in a tap whose pid was recycled
  links(16, 23);  // in two places at once, one of them the rival's
  links(16, 20);
  links(17, 20);  // steered here, the rival's link not yet gone
  links(17, 21);
  view.targets[{17, "target.object"}] = "tavuno.tap.100.1";

  EXPECT_TRUE(heldByRival(view, 10, self, running));
  EXPECT_FALSE(heldByRival(view, 11, self, running));
  EXPECT_FALSE(heldByRival(view, 12, self, running));
  EXPECT_TRUE(heldByRival(view, 13, self, running));
  EXPECT_FALSE(heldByRival(view, 14, self, running));
  EXPECT_FALSE(heldByRival(view, 15, self, running));
  EXPECT_TRUE(heldByRival(view, 16, self, running));
  EXPECT_FALSE(heldByRival(view, 17, self, running));
  EXPECT_FALSE(heldByRival(view, 99, self, running));  // unknown stream
}

}  // namespace
}  // namespace tavuno
