#include "platform/linux/PipeWireGraph.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>
#include <spa/pod/parser.h>
#include <spa/utils/json.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <set>

#include "base/text/Integer.h"
#include "platform/linux/ServerKeys.h"
#include "platform/linux/StreamProps.h"

namespace tavuno {

namespace {

void initOnce() {
  static const bool done = [] {
    pw_init(nullptr, nullptr);
    return true;
  }();
  (void)done;
}

const char* get(const spa_dict* props, const char* key) {
  return props ? spa_dict_lookup(props, key) : nullptr;
}

// A process id a client reports; 0 when absent or not one.
std::int32_t toInt(const char* text) {
  const auto value = parseInteger<std::int32_t>(text);
  return value && *value > 0 ? *value : 0;
}

std::uint64_t toU64(const char* text) {
  return parseInteger<std::uint64_t>(text).value_or(0);
}

// The `name` of a `{ "name": "..." }` metadata value.
std::string jsonName(const char* value) {
  if (!value) return {};
  spa_json it[2];
  spa_json_init(&it[0], value, std::strlen(value));
  if (spa_json_enter_object(&it[0], &it[1]) <= 0) return {};
  char key[64];
  while (spa_json_get_string(&it[1], key, sizeof key) > 0) {
    char name[1024];
    if (std::strcmp(key, "name") == 0) {
      if (spa_json_get_string(&it[1], name, sizeof name) > 0) return name;
      return {};
    }
    const char* skip;
    if (spa_json_next(&it[1], &skip) <= 0) break;
  }
  return {};
}

constexpr const char* kRestoreKeys[] = {"media.role", "application.id", "application.name",
                                        "media.name", "node.name"};

}  // namespace

namespace {

// Whether an info event's properties say what the mirror already holds of the node (the
// serial, name and class kept when the event leaves them out).
bool sameIdentity(const PipeWireGraph::Node& held, const PipeWireGraph::Node& fresh) {
  return (!fresh.serial || fresh.serial == held.serial) &&
         (fresh.name.empty() || fresh.name == held.name) &&
         (fresh.mediaClass.empty() || fresh.mediaClass == held.mediaClass) &&
         fresh.pid == held.pid && fresh.ownerPid == held.ownerPid &&
         fresh.ownerStart == held.ownerStart && fresh.client == held.client &&
         fresh.props == held.props;
}

}  // namespace

struct PipeWireGraph::Impl {
  struct BoundNode {
    Impl* impl = nullptr;
    std::uint32_t id = 0;
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    bool stream = false;  // a stream node, whose volume and mute reports may be followed
    bool levels = false;  // its volume and mute reports are subscribed to
  };
  struct BoundMetadata {
    Impl* impl = nullptr;
    bool isDefault = false;
    bool isSettings = false;  // the server's own `settings`: its clock, changeable at run time
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
  };

  PipeWireGraph* graph = nullptr;
  pw_registry* registry = nullptr;
  spa_hook registryListener{};
  spa_hook coreListener{};
  std::map<std::uint32_t, std::unique_ptr<BoundNode>> nodes;
  // The processes whose streams' volume and mute reports are followed (the watchers'), with the
  // loop locked: another client's stream that republishes its volume all the time sends its
  // reports to nobody here.
  std::multiset<std::int32_t> levelPids;

  // With the loop locked: subscribes to a stream's reports once it is one of those processes'.
  void followLevels(BoundNode& bound, std::int32_t pid) {
    if (!bound.stream || bound.levels || pid <= 0 || !levelPids.count(pid)) return;
    bound.levels = true;
    std::uint32_t ids[] = {SPA_PARAM_Props};
    pw_node_subscribe_params(reinterpret_cast<pw_node*>(bound.proxy), ids, 1);
  }
  std::map<std::uint32_t, std::unique_ptr<BoundMetadata>> metadata;
  pw_metadata* defaultMetadata = nullptr;
  pw_metadata* routeSettings = nullptr;
  // Target keys written and not yet reported back (loop thread or loop lock held).
  struct Written {
    std::uint32_t subject;
    std::string key;
    std::optional<std::string> value;
  };
  std::deque<Written> awaitingEcho;
  int pendingSeq = -1;
  bool synced = false;
  // The longest cycle as the core's properties and the settings metadata give it.
  std::uint32_t coreLongest = 0;
  std::map<std::string, std::uint32_t> settingsClock;

  // With a change under way: the view's maxQuantum from both sources.
  void updateLongest(View& view) const {
    view.maxQuantum = coreLongest;
    for (const auto& [key, frames] : settingsClock)
      view.maxQuantum = std::max(view.maxQuantum, frames);
  }

  // `touched`: the nodes whose watchers hear of the change (Watcher), as it stands once `f`
  // has run (which may add to it).
  template <typename F>
  void change(F f, const Touched& touched = {}) {
    {
      std::lock_guard<std::mutex> guard(graph->mutex_);
      f(graph->view_);
      ++graph->view_.changes;
      graph->published_.reset();
      graph->tell(touched);
    }
    graph->changed_.notify_all();
  }
  // A stream's own volume or mute.
  template <typename F>
  void levelChange(std::uint32_t id, F f) {
    {
      std::lock_guard<std::mutex> guard(graph->mutex_);
      Node& node = graph->view_.nodes[id];
      f(node);
      ++graph->view_.changes;
      graph->published_.reset();
      graph->tell({{id}});
    }
    graph->changed_.notify_all();
  }
  // The nodes a client made. On the loop thread, the mirror's only writer: read without the lock.
  std::vector<std::uint32_t> nodesOf(std::uint32_t client) const {
    std::vector<std::uint32_t> out;
    for (const auto& [id, node] : graph->view_.nodes)
      if (node.client == client) out.push_back(id);
    return out;
  }

  static void nodeInfo(void* data, const pw_node_info* info) {
    auto* bound = static_cast<BoundNode*>(data);
    if (!(info->change_mask & PW_NODE_CHANGE_MASK_PROPS)) return;
    const spa_dict* props = info->props;
    Node fresh;
    fresh.id = bound->id;
    if (const char* v = get(props, PW_KEY_OBJECT_SERIAL)) fresh.serial = toU64(v);
    if (const char* v = get(props, PW_KEY_NODE_NAME)) fresh.name = v;
    if (const char* v = get(props, PW_KEY_MEDIA_CLASS)) fresh.mediaClass = v;
    fresh.pid = toInt(get(props, PW_KEY_APP_PROCESS_ID));
    fresh.ownerPid = toInt(get(props, serverkey::ownerPid));
    fresh.ownerStart = toU64(get(props, serverkey::ownerStart));
    fresh.client = static_cast<std::uint32_t>(toInt(get(props, PW_KEY_CLIENT_ID)));
    for (const char* key : kRestoreKeys)
      if (const char* v = get(props, key)) fresh.props[key] = v;
    bound->impl->followLevels(*bound, fresh.pid);
    {
      // A property update that leaves what the mirror keeps as it was changes nothing.
      std::lock_guard<std::mutex> guard(bound->impl->graph->mutex_);
      const auto& nodes = bound->impl->graph->view_.nodes;
      if (auto it = nodes.find(bound->id); it != nodes.end() && sameIdentity(it->second, fresh))
        return;
    }
    bound->impl->change(
        [&](View& view) {
          Node& node = view.nodes[bound->id];
          node.id = fresh.id;
          if (fresh.serial) node.serial = fresh.serial;
          if (!fresh.name.empty()) node.name = fresh.name;
          if (!fresh.mediaClass.empty()) node.mediaClass = fresh.mediaClass;
          node.pid = fresh.pid;
          node.ownerPid = fresh.ownerPid;
          node.ownerStart = fresh.ownerStart;
          node.client = fresh.client;
          node.props = std::move(fresh.props);
        },
        {{bound->id}});
  }

  static void nodeParam(void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                        const spa_pod* param) {
    auto* bound = static_cast<BoundNode*>(data);
    if (id != SPA_PARAM_Props) return;
    StreamProps props = parseStreamProps(param);
    if (props.volumes.empty() && !props.muted) return;
    bound->impl->levelChange(bound->id, [&](Node& node) {
      if (!props.volumes.empty()) {
        node.volumes = std::move(props.volumes);
        node.volumesKnown = true;
      }
      if (props.muted) node.muted = *props.muted;
    });
  }

  static int metadataProperty(void* data, std::uint32_t subject, const char* key, const char*,
                              const char* value) {
    auto* bound = static_cast<BoundMetadata*>(data);
    if (bound->isSettings) {
      settingsProperty(*bound->impl, subject, key, value);
      return 0;
    }
    if (!bound->isDefault) return 0;
    // A stream's targets, all of them or one: the stream's watchers hear of it.
    Touched touched;
    if (key == nullptr || std::strcmp(key, serverkey::targetObject) == 0 ||
        std::strcmp(key, serverkey::targetNode) == 0)
      touched.nodes = {subject};
    bound->impl->change(
        [&](View& view) {
          if (key == nullptr) {
            std::erase_if(view.targets, [&](const auto& e) { return e.first.first == subject; });
            return;
          }
          if (subject == PW_ID_CORE && std::strcmp(key, "default.audio.sink") == 0) {
            view.defaultSink = jsonName(value);
            return;
          }
          if (std::strcmp(key, serverkey::targetObject) != 0 &&
              std::strcmp(key, serverkey::targetNode) != 0)
            return;
          auto& written = bound->impl->awaitingEcho;
          auto echo = std::find_if(written.begin(), written.end(), [&](const Written& w) {
            return w.subject == subject && w.key == key &&
                   (value ? w.value == std::string(value) : !w.value);
          });
          if (echo != written.end()) {
            // The first echo changes how every stream's target reads (View::targetsHeard).
            if (!view.targetsHeard) touched.all = true;
            view.targetsHeard = true;
            written.erase(echo);
          }
          if (value == nullptr) {
            view.targets.erase({subject, key});
          } else {
            view.targets[{subject, key}] = value;
          }
        },
        touched);
    return 0;
  }

  // clock.max-quantum, and clock.force-quantum, which may be set above it.
  static void settingsProperty(Impl& impl, std::uint32_t subject, const char* key,
                               const char* value) {
    if (subject != PW_ID_CORE) return;
    impl.change([&](View& view) {
      if (key == nullptr) {
        impl.settingsClock.clear();
      } else if (std::strcmp(key, "clock.max-quantum") == 0 ||
                 std::strcmp(key, "clock.force-quantum") == 0) {
        impl.settingsClock[key] = static_cast<std::uint32_t>(toInt(value));
      }
      impl.updateLongest(view);
    });
  }

  static void global(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                     const spa_dict* props) {
    auto* impl = static_cast<Impl*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
      auto bound = std::make_unique<BoundNode>();
      bound->impl = impl;
      bound->id = id;
      bound->proxy = static_cast<pw_proxy*>(
          pw_registry_bind(impl->registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
      if (!bound->proxy) return;
      static const pw_node_events events = {PW_VERSION_NODE_EVENTS, nodeInfo, nodeParam};
      pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
      const char* mediaClass = get(props, PW_KEY_MEDIA_CLASS);
      bound->stream = mediaClass && std::strncmp(mediaClass, "Stream/", 7) == 0;
      impl->change(
          [&](View& view) {
            Node& node = view.nodes[id];
            node.id = id;
            if (const char* v = get(props, PW_KEY_OBJECT_SERIAL)) node.serial = toU64(v);
            if (const char* v = get(props, PW_KEY_NODE_NAME)) node.name = v;
            if (mediaClass) node.mediaClass = mediaClass;
          },
          {{id}});
      impl->nodes[id] = std::move(bound);
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
      // The global's properties carry the credentials the server took from the socket.
      const std::int32_t pid = toInt(get(props, PW_KEY_SEC_PID));
      // Whose its nodes are may change with it (ownedByTavuno).
      if (pid > 0)
        impl->change([&](View& view) { view.clientPids[id] = pid; }, {impl->nodesOf(id)});
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
      Link link{static_cast<std::uint32_t>(toInt(get(props, PW_KEY_LINK_OUTPUT_NODE))),
                static_cast<std::uint32_t>(toInt(get(props, PW_KEY_LINK_INPUT_NODE)))};
      impl->change([&](View& view) { view.links[id] = link; }, {{link.outputNode, link.inputNode}});
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
      const char* name = get(props, "metadata.name");
      if (!name) return;
      const bool isDefault = std::strcmp(name, "default") == 0;
      const bool isRoute = std::strcmp(name, "route-settings") == 0;
      if (std::strcmp(name, "sm-settings") == 0) {
        impl->change([](View& view) { view.restoreFollowsStreams = true; }, Touched::everyone());
        return;
      }
      const bool isSettings = std::strcmp(name, "settings") == 0;
      if (!isDefault && !isRoute && !isSettings) return;
      auto bound = std::make_unique<BoundMetadata>();
      bound->impl = impl;
      bound->isDefault = isDefault;
      bound->isSettings = isSettings;
      bound->proxy = static_cast<pw_proxy*>(
          pw_registry_bind(impl->registry, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
      if (!bound->proxy) return;
      static const pw_metadata_events events = {PW_VERSION_METADATA_EVENTS, metadataProperty};
      pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
      if (isDefault) impl->defaultMetadata = reinterpret_cast<pw_metadata*>(bound->proxy);
      if (isRoute) {
        impl->routeSettings = reinterpret_cast<pw_metadata*>(bound->proxy);
        impl->change([](View& view) { view.routeSettings = true; }, Touched::everyone());
      }
      impl->metadata[id] = std::move(bound);
    }
  }

  static void globalRemove(void* data, std::uint32_t id) {
    auto* impl = static_cast<Impl*>(data);
    if (auto it = impl->nodes.find(id); it != impl->nodes.end()) {
      spa_hook_remove(&it->second->listener);
      pw_proxy_destroy(it->second->proxy);
      impl->nodes.erase(it);
    }
    if (auto it = impl->metadata.find(id); it != impl->metadata.end()) {
      auto* proxy = reinterpret_cast<pw_metadata*>(it->second->proxy);
      if (proxy == impl->defaultMetadata) impl->defaultMetadata = nullptr;
      if (proxy == impl->routeSettings) {
        impl->routeSettings = nullptr;
        impl->change([](View& view) { view.routeSettings = false; }, Touched::everyone());
      }
      spa_hook_remove(&it->second->listener);
      pw_proxy_destroy(it->second->proxy);
      impl->metadata.erase(it);
    }
    // A node, a link (both its ends) or a client (its nodes) went.
    Touched touched{{id}};
    if (auto link = impl->graph->view_.links.find(id); link != impl->graph->view_.links.end())
      touched.nodes.insert(touched.nodes.end(), {link->second.outputNode, link->second.inputNode});
    if (impl->graph->view_.clientPids.count(id)) {
      const auto made = impl->nodesOf(id);
      touched.nodes.insert(touched.nodes.end(), made.begin(), made.end());
    }
    impl->change(
        [&](View& view) {
          view.nodes.erase(id);
          view.links.erase(id);
          view.clientPids.erase(id);
          std::erase_if(view.targets, [&](const auto& e) { return e.first.first == id; });
        },
        touched);
  }

  // The server's clock settings come with its core's properties (its context properties).
  static void coreInfo(void* data, const pw_core_info* info) {
    auto* impl = static_cast<Impl*>(data);
    if (info && info->cookie && info->cookie != impl->graph->view_.serverCookie)
      impl->change([&](View& view) { view.serverCookie = info->cookie; });
    if (!info || !(info->change_mask & PW_CORE_CHANGE_MASK_PROPS)) return;
    std::uint32_t longest = 0;
    for (const char* key : {"default.clock.quantum-limit", "default.clock.max-quantum"})
      longest = std::max(longest, static_cast<std::uint32_t>(toInt(get(info->props, key))));
    impl->coreLongest = longest;
    impl->change([&](View& view) { impl->updateLongest(view); });
  }

  static void coreDone(void* data, std::uint32_t id, int seq) {
    auto* impl = static_cast<Impl*>(data);
    if (id == PW_ID_CORE && seq == impl->pendingSeq) {
      impl->synced = true;
      pw_thread_loop_signal(impl->graph->loop_, false);
    }
  }

  static void coreError(void* data, std::uint32_t id, int, int res, const char*) {
    auto* impl = static_cast<Impl*>(data);
    if (id == PW_ID_CORE && res == -EPIPE) {
      impl->change([](View& view) { view.connected = false; }, Touched::everyone());
      pw_thread_loop_signal(impl->graph->loop_, false);
    }
  }

  // With the loop locked: one round trip, so every reply to what was asked before is in.
  bool roundTrip() {
    synced = false;
    pendingSeq = pw_core_sync(graph->core_, PW_ID_CORE, pendingSeq);
    timespec deadline;
    pw_thread_loop_get_time(graph->loop_, &deadline, 2 * SPA_NSEC_PER_SEC);
    while (!synced && graph->connected()) {
      if (pw_thread_loop_timed_wait_full(graph->loop_, &deadline) != 0) return false;
    }
    return synced;
  }

  void destroyProxies() {
    for (auto& [id, bound] : nodes) {
      spa_hook_remove(&bound->listener);
      pw_proxy_destroy(bound->proxy);
    }
    nodes.clear();
    for (auto& [id, bound] : metadata) {
      spa_hook_remove(&bound->listener);
      pw_proxy_destroy(bound->proxy);
    }
    metadata.clear();
    defaultMetadata = routeSettings = nullptr;
    if (registry) {
      spa_hook_remove(&registryListener);
      pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
      registry = nullptr;
    }
  }
};

const PipeWireGraph::Node* PipeWireGraph::View::node(std::uint32_t id) const {
  auto it = nodes.find(id);
  return it == nodes.end() ? nullptr : &it->second;
}

const PipeWireGraph::Node* PipeWireGraph::View::nodeNamed(const std::string& name) const {
  for (const auto& [id, n] : nodes)
    if (n.name == name) return &n;
  return nullptr;
}

bool PipeWireGraph::View::linked(std::uint32_t output, std::uint32_t input) const {
  return std::any_of(links.begin(), links.end(), [&](const auto& e) {
    return e.second.outputNode == output && e.second.inputNode == input;
  });
}

std::vector<std::uint32_t> PipeWireGraph::View::linkedTo(std::uint32_t output) const {
  std::vector<std::uint32_t> out;
  for (const auto& [id, link] : links)
    if (link.outputNode == output && std::find(out.begin(), out.end(), link.inputNode) == out.end())
      out.push_back(link.inputNode);
  return out;
}

std::optional<std::string> PipeWireGraph::View::target(std::uint32_t node,
                                                       const std::string& key) const {
  auto it = targets.find({node, key});
  if (it == targets.end()) return std::nullopt;
  return it->second;
}

PipeWireGraph::PipeWireGraph() : impl_(std::make_unique<Impl>()) {
  impl_->graph = this;
}

std::shared_ptr<PipeWireGraph> PipeWireGraph::connect(std::string& error) {
  initOnce();
  std::shared_ptr<PipeWireGraph> graph(new PipeWireGraph());
  graph->loop_ = pw_thread_loop_new("tavuno-pw", nullptr);
  if (!graph->loop_) {
    error = "pw_thread_loop_new";
    return nullptr;
  }
  graph->context_ =
      pw_context_new(pw_thread_loop_get_loop(graph->loop_),
                     pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (!graph->context_ || pw_thread_loop_start(graph->loop_) != 0) {
    error = "pw_context_new";
    return nullptr;
  }
  Impl& impl = *graph->impl_;
  bool ok = false;
  pw_thread_loop_lock(graph->loop_);
  graph->core_ =
      pw_context_connect(graph->context_, pw_properties_new(PW_KEY_APP_NAME, "Tavuno", nullptr), 0);
  if (graph->core_) {
    static const pw_core_events coreEvents = {.version = PW_VERSION_CORE_EVENTS,
                                              .info = Impl::coreInfo,
                                              .done = Impl::coreDone,
                                              .error = Impl::coreError};
    pw_core_add_listener(graph->core_, &impl.coreListener, &coreEvents, &impl);
    impl.registry = pw_core_get_registry(graph->core_, PW_VERSION_REGISTRY, 0);
    static const pw_registry_events registryEvents = {PW_VERSION_REGISTRY_EVENTS, Impl::global,
                                                      Impl::globalRemove};
    pw_registry_add_listener(impl.registry, &impl.registryListener, &registryEvents, &impl);
    // The first trip brings the globals, the second what binding them asked for.
    ok = impl.roundTrip() && impl.roundTrip();
  }
  pw_thread_loop_unlock(graph->loop_);
  if (!graph->core_) {
    error = std::string("pw_context_connect: ") + std::strerror(errno);
    return nullptr;
  }
  if (!ok) {
    error = "pw_core_sync";
    return nullptr;
  }
  return graph;
}

PipeWireGraph::~PipeWireGraph() {
  if (loop_) pw_thread_loop_lock(loop_);
  impl_->destroyProxies();
  if (core_) {
    spa_hook_remove(&impl_->coreListener);
    pw_core_disconnect(core_);
  }
  if (loop_) pw_thread_loop_unlock(loop_);
  if (loop_) pw_thread_loop_stop(loop_);
  if (context_) pw_context_destroy(context_);
  if (loop_) pw_thread_loop_destroy(loop_);
}

std::uint64_t PipeWireGraph::watch(Watcher watcher, const std::set<std::int32_t>& pids) {
  withLoopLocked([&] {
    impl_->levelPids.insert(pids.begin(), pids.end());
    for (auto& [node, bound] : impl_->nodes)
      if (auto it = view_.nodes.find(node); it != view_.nodes.end())
        impl_->followLevels(*bound, it->second.pid);
  });
  std::lock_guard<std::mutex> guard(mutex_);
  const std::uint64_t id = ++lastWatch_;
  watchedPids_.emplace(id, pids);
  std::vector<std::uint32_t> all;
  for (const auto& [node, n] : view_.nodes)
    all.push_back(node);
  watcher(view_, &all);
  watchers_.emplace(id, std::move(watcher));
  return id;
}

void PipeWireGraph::unwatch(std::uint64_t id) {
  std::set<std::int32_t> pids;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    watchers_.erase(id);
    if (auto it = watchedPids_.find(id); it != watchedPids_.end()) {
      pids = std::move(it->second);
      watchedPids_.erase(it);
    }
  }
  // A stream already subscribed to stays so: its reports are few once nobody changes it.
  withLoopLocked([&] {
    for (std::int32_t pid : pids)
      if (auto it = impl_->levelPids.find(pid); it != impl_->levelPids.end())
        impl_->levelPids.erase(it);
  });
}

void PipeWireGraph::tell(const Touched& touched) const {
  if (!touched.all && touched.nodes.empty()) return;
  for (const auto& [id, watcher] : watchers_)
    watcher(view_, touched.all ? nullptr : &touched.nodes);
}

std::shared_ptr<const PipeWireGraph::View> PipeWireGraph::view() const {
  std::lock_guard<std::mutex> guard(mutex_);
  // One copy per state of the graph, and only once someone reads it: a client that republishes
  // its volume all the time costs no copies while no session looks.
  if (!published_) published_ = std::make_shared<const View>(view_);
  return published_;
}

bool PipeWireGraph::connected() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return view_.connected;
}

bool PipeWireGraph::waitUntil(const std::function<bool(const View&)>& done, double seconds) const {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done(view_)) {
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return done(view_);
  }
  return true;
}

bool PipeWireGraph::answers() const {
  bool ok = false;
  withLoopLocked([&] { ok = impl_->roundTrip(); });
  return ok;
}

void PipeWireGraph::withLoopLocked(const std::function<void()>& work) const {
  pw_thread_loop_lock(loop_);
  work();
  pw_thread_loop_unlock(loop_);
}

void PipeWireGraph::setTarget(std::uint32_t node, const std::string& key,
                              const std::optional<std::string>& value) {
  withLoopLocked([&] {
    if (!impl_->defaultMetadata) return;
    pw_metadata_set_property(impl_->defaultMetadata, node, key.c_str(), value ? "Spa:Id" : nullptr,
                             value ? value->c_str() : nullptr);
    impl_->awaitingEcho.push_back({node, key, value});
    if (impl_->awaitingEcho.size() > 64) impl_->awaitingEcho.pop_front();
  });
}

void PipeWireGraph::setRouteSetting(const std::string& key,
                                    const std::optional<std::string>& json) {
  withLoopLocked([&] {
    if (!impl_->routeSettings) return;
    pw_metadata_set_property(impl_->routeSettings, PW_ID_CORE, key.c_str(), nullptr, nullptr);
    if (json)
      pw_metadata_set_property(impl_->routeSettings, PW_ID_CORE, key.c_str(), "Spa:String:JSON",
                               json->c_str());
  });
}

void PipeWireGraph::setVolume(std::uint32_t node, float volume) {
  std::size_t channels = 2;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (auto it = view_.nodes.find(node); it != view_.nodes.end() && it->second.volumesKnown)
      channels = it->second.volumes.size();
  }
  withLoopLocked([&] {
    auto it = impl_->nodes.find(node);
    if (it == impl_->nodes.end()) return;
    std::vector<float> values(std::clamp<std::size_t>(channels, 1, 64), volume);
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    auto* pod = static_cast<spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props, SPA_PROP_channelVolumes,
        SPA_POD_Array(sizeof(float), SPA_TYPE_Float, values.size(), values.data())));
    pw_node_set_param(reinterpret_cast<pw_node*>(it->second->proxy), SPA_PARAM_Props, 0, pod);
  });
}

void PipeWireGraph::setMute(std::uint32_t node, bool muted) {
  withLoopLocked([&] {
    auto it = impl_->nodes.find(node);
    if (it == impl_->nodes.end()) return;
    std::uint8_t buffer[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    auto* pod = static_cast<spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props, SPA_PROP_mute, SPA_POD_Bool(muted)));
    pw_node_set_param(reinterpret_cast<pw_node*>(it->second->proxy), SPA_PARAM_Props, 0, pod);
  });
}

std::shared_ptr<PipeWireGraph> PipeWireGraphSource::current(std::string& error) {
  std::lock_guard<std::mutex> guard(mutex_);
  // Each start asks: one round trip, and a graph that no longer answers is left to the sessions
  // holding it while new ones get a fresh connection.
  if (graph_ && graph_->connected() && graph_->answers()) return graph_;
  graph_ = PipeWireGraph::connect(error);
  return graph_;
}

}  // namespace tavuno
