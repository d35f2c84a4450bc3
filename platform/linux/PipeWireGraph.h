#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;

namespace tavuno {

// One connection to the PipeWire server shared by every per-application session: a
// `pw_thread_loop`, and a mirror of the graph kept by its registry listener (nodes with their
// full properties and stream volumes, links, the `default` metadata's targets and default
// sink). The loop thread alone changes the mirror; workers read it as immutable snapshots (one
// copy per state, shared by every reader) and wait on it with a deadline; writes go out with the
// loop locked for as long as it takes to issue them. The real-time path never touches this.
class PipeWireGraph {
 public:
  struct Node {
    std::uint32_t id = 0;
    std::uint64_t serial = 0;
    std::string name;                          // node.name
    std::string mediaClass;                    // media.class
    std::int32_t pid = 0;                      // application.process.id; 0 when absent
    std::int32_t ownerPid = 0;                 // tavuno.owner.pid: a node of Tavuno's
    std::uint64_t ownerStart = 0;              // tavuno.owner.start; 0 when absent
    std::uint32_t client = 0;                  // client.id: the client that made it; 0: unknown
    std::map<std::string, std::string> props;  // the properties the restore key may come from
    std::vector<float> volumes;                // the stream's channel volumes once known (linear)
    bool volumesKnown = false;
    bool muted = false;  // the stream's own mute (Props), as the server last reported it
  };
  struct Link {
    std::uint32_t outputNode = 0;
    std::uint32_t inputNode = 0;
  };
  struct View {
    std::map<std::uint32_t, Node> nodes;
    std::map<std::uint32_t, Link> links;
    // The `default` metadata's stream targets: (node, key) → value, key target.object or
    // the legacy target.node.
    std::map<std::pair<std::uint32_t, std::string>, std::string> targets;
    // Whether a target key this client wrote has been reported back. PipeWire 0.3.65 stops
    // passing the metadata's changes to its clients for good when one leaves while binding
    // it, while WirePlumber, which holds it, still acts on every change; until an echo comes,
    // the links decide.
    bool targetsHeard = false;
    std::string defaultSink;  // node name of the server's default sink
    // The pid the server itself gives each client (pipewire.sec.pid, from the socket's
    // credentials), by client id: unlike a node's own properties, no client can set it.
    std::map<std::uint32_t, std::int32_t> clientPids;
    // The core's cookie, drawn anew at each start of the server: ids and serials are of one run.
    // 0 until the core info came.
    std::uint32_t serverCookie = 0;
    bool connected = true;
    bool routeSettings = false;  // WirePlumber's route-settings metadata is there
    // WirePlumber 0.5 (its `sm-settings` metadata is there): a stream's stored volume and mute
    // follow the stream's own, and route-settings keys other than the notification sounds'
    // are ignored. 0.4 restores from the route-settings keys.
    bool restoreFollowsStreams = false;
    // The longest cycle the server allows, in frames: the largest of the quantum limit and the
    // maximum quantum its core reports and the maximum and forced quantum of its `settings`
    // metadata; 0 when it says none of them.
    std::uint32_t maxQuantum = 0;
    std::uint64_t changes = 0;  // grows with every change seen

    const Node* node(std::uint32_t id) const;
    const Node* nodeNamed(const std::string& name) const;
    // Whether a link runs from `output` to `input`.
    bool linked(std::uint32_t output, std::uint32_t input) const;
    // The nodes `output` sends to.
    std::vector<std::uint32_t> linkedTo(std::uint32_t output) const;
    std::optional<std::string> target(std::uint32_t node, const std::string& key) const;
  };

  // Connects and waits (≤ 2 s) until the mirror holds the whole graph. Null with `error` set
  // when there is no PipeWire server.
  static std::shared_ptr<PipeWireGraph> connect(std::string& error);
  ~PipeWireGraph();
  PipeWireGraph(const PipeWireGraph&) = delete;
  PipeWireGraph& operator=(const PipeWireGraph&) = delete;

  // The graph as it is now, shared and immutable: a later change makes a new snapshot and
  // leaves this one as it was.
  std::shared_ptr<const View> view() const;
  // Told on the loop thread, with the mirror's lock held, of each change that touched a node
  // (its properties, its volume or mute, its targets, a link to or from it, its client): the
  // nodes, or null when the change may concern every node (the connection lost, WirePlumber's
  // metadata coming or going). A watcher only takes note: it must not call the graph. watch()
  // tells the new watcher of every node there is first; after unwatch() it is never called.
  // The streams of `pids` have their volume and mute reports followed (Node::volumes, muted)
  // from then on; other streams' reports are not subscribed to. Not from the loop thread.
  using Watcher = std::function<void(const View& view, const std::vector<std::uint32_t>* nodes)>;
  std::uint64_t watch(Watcher watcher, const std::set<std::int32_t>& pids);
  void unwatch(std::uint64_t id);
  // Waits until `done` holds for the mirror or `seconds` pass; answers the last verdict.
  bool waitUntil(const std::function<bool(const View&)>& done, double seconds) const;
  bool connected() const;
  // Whether the server answers a round trip within 2 s: a connection whose end died without
  // the error reaching us still says it is connected.
  bool answers() const;

  // `default` metadata: set or (nullopt) delete `key` on `node`.
  void setTarget(std::uint32_t node, const std::string& key,
                 const std::optional<std::string>& value);
  // `route-settings` metadata, subject 0: delete `key`, then set it when `json` is given (a
  // rewrite of the same text would be ignored by WirePlumber).
  void setRouteSetting(const std::string& key, const std::optional<std::string>& json);
  // Sets a stream node's channel volumes (linear, the same for every channel it has).
  void setVolume(std::uint32_t node, float volume);
  // Sets a stream node's own mute.
  void setMute(std::uint32_t node, bool muted);

  // Runs `work` with the loop locked: stream creation and destruction go through here.
  void withLoopLocked(const std::function<void()>& work) const;
  pw_core* core() const { return core_; }
  pw_context* context() const { return context_; }
  pw_thread_loop* loop() const { return loop_; }

  // Called by the listeners on the loop thread.
  struct Impl;

 private:
  PipeWireGraph();
  struct Touched {
    std::vector<std::uint32_t> nodes;
    bool all = false;
    static Touched everyone() { return {{}, true}; }
  };
  // With mutex_ held: the watchers of the touched nodes hear of the change.
  void tell(const Touched& touched) const;

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  std::unique_ptr<Impl> impl_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  View view_;
  mutable std::shared_ptr<const View> published_;  // view_ as last read; reset by each change
  std::map<std::uint64_t, Watcher> watchers_;
  std::map<std::uint64_t, std::set<std::int32_t>> watchedPids_;
  std::uint64_t lastWatch_ = 0;

  friend struct Impl;
};

// Hands out the graph the sessions use, connecting again after the server went away (a new
// server is a new graph; sessions keep the old one until they are stopped).
class PipeWireGraphSource {
 public:
  std::shared_ptr<PipeWireGraph> current(std::string& error);

 private:
  std::mutex mutex_;
  std::shared_ptr<PipeWireGraph> graph_;
};

}  // namespace tavuno
