#include "platform/linux/PipeWireSession.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "base/text/TavunoLanguage.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/RivalTavuno.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

constexpr const char* kServer = "PipeWire";
constexpr double kVerifySeconds = 0.25;
constexpr int kWriteAttempts = 3;  // the first write and two retries
// How long a write is given to show in the graph: a lost one is written again after 250 ms,
// but the last one gets seconds, since a loaded machine can keep WirePlumber from relinking
// for longer than the retries take (a slow move is not a lost one).
constexpr double kLastVerifySeconds = 3.0;
double verifySeconds(int attempt) {
  return attempt + 1 < kWriteAttempts ? kVerifySeconds : kLastVerifySeconds;
}

bool names(const std::optional<std::string>& target, const std::string& value) {
  return target && *target == value;
}

// Whether the metadata holds `value` as far as the view can tell: until the server has
// reported back one of our own writes (View::targetsHeard), an unknown key is taken as written
// and the links decide.
bool knownAs(const PipeWireGraph::View& view, const std::optional<std::string>& target,
             const std::string& value) {
  return target ? *target == value : !view.targetsHeard;
}

float loudest(const std::vector<float>& volumes) {
  float peak = 0.0f;
  for (float v : volumes)
    peak = std::max(peak, v);
  return peak;
}

}  // namespace

PipeWireSession::PipeWireSession(PipeWireSessionPorts ports)
    : SteeredSession(ports.plane, ports.journal), ports_(std::move(ports)) {}

PipeWireSession::~PipeWireSession() {
  stop();
}

bool PipeWireSession::streamsBroken() const {
  return tap_ && tap_->broken();
}

bool PipeWireSession::serverUp() const {
  return graph_ && graph_->connected();
}

std::uint32_t PipeWireSession::tapNode() const {
  return tapNode_;
}

std::uint32_t PipeWireSession::shortfalls() const {
  if (!tap_) return 0;
  const TapGlueCounters& c = tap_->counters();
  return c.missingCapture.load(std::memory_order_relaxed) +
         c.shortCapture.load(std::memory_order_relaxed) +
         c.missingPlayback.load(std::memory_order_relaxed);
}

bool PipeWireSession::isAppOutput(const PipeWireGraph::View& view,
                                  const PipeWireGraph::Node& node) const {
  // A Tavuno mark on the stream counts only when a live Tavuno made it: anyone can set the key.
  return node.mediaClass == "Stream/Output/Audio" && tapped(node.pid) &&
         !ownedByTavuno(view, node, processStartTime);
}

bool PipeWireSession::rivalHolds(const PipeWireGraph::View& view, std::uint32_t node) const {
  return heldByRival(view, node, static_cast<std::int32_t>(::getpid()), processStartTime);
}

std::optional<SessionFailure> PipeWireSession::open(const SessionControlPlane::Output& output) {
  std::string error;
  graph_ = ports_.graphs.current(error);
  if (!graph_)
    return SessionFailure::server(textKey("Conectar ao servidor de áudio"), -ECONNREFUSED, kServer);
  filter_.emplace(pids());
  watch_ =
      graph_->watch([this](const PipeWireGraph::View& view,
                           const std::vector<std::uint32_t>* nodes) { graphChanged(view, nodes); },
                    pids());
  // An application another Tavuno already holds is left to it, whole: splitting its streams
  // between two Tavunos would leave neither in control.
  {
    const auto snapshot = graph_->view();
    const PipeWireGraph::View& view = *snapshot;
    for (const auto& [id, node] : view.nodes) {
      if (isAppOutput(view, node) && rivalHolds(view, id))
        return SessionFailure::unsupported(tr("Outro Tavuno já controla este aplicativo."));
    }
  }

  const std::int32_t self = static_cast<std::int32_t>(::getpid());
  const std::string suffix = claimTapName();
  PipeWireTap::Options options;
  options.tapName = tapName_;
  options.playName = "tavuno.play." + suffix;
  options.group = "tavuno.group." + suffix;
  options.outputNode = output.nodeName;
  options.rate = output.rate;
  options.channels = output.channels;
  options.maxQuantum = graph_->view()->maxQuantum;
  options.ownerPid = self;
  options.ownerStart = processStartTime(self).value_or(0);
  options.observer = ports_.observer;
  tap_ = std::make_unique<PipeWireTap>(graph_, dsp_);
  if (auto failure = tap_->build(options)) return failure;
  tapNode_ = tap_->tapNode();

  // The playback must reach the output before any stream goes into the tap: an application
  // steered into a tap that plays nowhere would fall silent.
  const std::uint32_t play = tap_->playNode();
  const bool playing = graph_->waitUntil(
      [&](const PipeWireGraph::View& v) {
        for (std::uint32_t input : v.linkedTo(play))
          if (const auto* node = v.node(input); node && node->name == output.nodeName) return true;
        return false;
      },
      kLastVerifySeconds);
  if (!playing) return SessionFailure::server(textKey("Preparar reprodução"), -ETIMEDOUT, kServer);

  const auto snapshot = graph_->view();
  const PipeWireGraph::View& view = *snapshot;
  for (const auto& [id, node] : view.nodes) {
    if (!isAppOutput(view, node) || rivalHolds(view, id)) continue;
    if (auto failure = steer(node, view, std::nullopt)) return failure;
  }
  return std::nullopt;
}

std::optional<SessionFailure> PipeWireSession::steer(const PipeWireGraph::Node& node,
                                                     const PipeWireGraph::View& view,
                                                     std::optional<SteerRecord> previous) {
  SteerRecord record;
  if (previous) {
    record = *previous;
  } else {
    record = newRecord(node.id, node.serial, node.pid, view.serverCookie);
    for (const char* key : {serverkey::targetObject, serverkey::targetNode}) {
      auto saved = view.target(node.id, key);
      if (saved && saved->rfind(serverkey::namePrefix, 0) != 0) {
        record.targetKey = key;
        record.savedTarget = saved;
        break;
      }
    }
    for (std::uint32_t input : view.linkedTo(node.id)) {
      const auto* sink = view.node(input);
      if (sink && sink->mediaClass == "Audio/Sink" &&
          !ownedByTavuno(view, *sink, processStartTime)) {
        record.sink = sink->name;
        break;
      }
    }
    record.sinkWasDefault = !record.sink.empty() && record.sink == view.defaultSink;
    if (!this->record(record))
      return SessionFailure::server(textKey("Registrar o direcionamento"), -EIO, kServer);
  }
  Steered& steered = track(node.id);
  steered.serial = node.serial;
  steered.record = record;

  // A new stream louder than the application's volume is brought down to it at once: the
  // fallback for streams the seeded restore data did not reach.
  {
    const Levels app = levels();
    if (node.volumesKnown && loudest(node.volumes) > app.gain + 1e-3f) {
      graph_->setVolume(node.id, app.gain);
      steered.requestedVolume = app.gain;
    }
    if (app.muted && !node.muted) graph_->setMute(node.id, true);
  }

  const std::uint32_t id = node.id;
  const std::uint64_t serial = node.serial;
  const std::uint32_t tap = tapNode_;
  const std::string tapName = tapName_;
  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    if (record.savedTarget && record.targetKey == serverkey::targetNode)
      graph_->setTarget(id, serverkey::targetNode, std::nullopt);
    graph_->setTarget(id, serverkey::targetObject, tapName);
    if (ports_.afterTargetWrite) ports_.afterTargetWrite(id, attempt, false);
    const bool done = graph_->waitUntil(
        [&](const PipeWireGraph::View& v) {
          const auto* now = v.node(id);
          if (!now || now->serial != serial) return true;  // gone: nothing left to steer
          if (v.linked(id, tap) && knownAs(v, v.target(id, serverkey::targetObject), tapName))
            return true;
          // Taken by another Tavuno meanwhile: no more writes; the follower lets it go.
          return rivalHolds(v, id);
        },
        verifySeconds(attempt));
    if (done) return std::nullopt;
    if (!graph_->connected()) break;
  }
  if (graph_->connected()) {
    // The key's change may never come back (see knownAs); a stream that settled in the tap is
    // steered all the same.
    const auto snapshot = graph_->view();
    const PipeWireGraph::View& v = *snapshot;
    const auto* now = v.node(id);
    if (!now || now->serial != serial || v.linked(id, tap)) return std::nullopt;
  }
  return SessionFailure::server(textKey("Direcionar o áudio do aplicativo"), -ETIMEDOUT, kServer);
}

bool PipeWireSession::restore(std::uint32_t id, const Steered& steered) {
  if (!graph_) return true;
  const SteerRecord& record = steered.record;
  const std::uint32_t tap = tapNode_;
  // Another Tavuno holds the stream now: putting it back would take it from that Tavuno.
  if (graph_->connected() && rivalHolds(*graph_->view(), id)) return true;
  // Gone (a node that is gone is restored), or playing somewhere other than the tap.
  auto leftTap = [&](const PipeWireGraph::View& v) {
    const auto* now = v.node(id);
    if (!now || now->serial != steered.serial) return true;
    const auto links = v.linkedTo(id);
    return !links.empty() && std::find(links.begin(), links.end(), tap) == links.end();
  };
  auto restored = [&](const PipeWireGraph::View& v) {
    if (!v.connected) return true;
    const auto* now = v.node(id);
    if (!now || now->serial != steered.serial) return true;
    // What was written must be what the server holds, and the stream must have left the tap.
    const auto target = v.target(id, record.targetKey);
    if (record.savedTarget ? !knownAs(v, target, *record.savedTarget) : target.has_value())
      return false;
    if (record.targetKey != serverkey::targetObject && v.target(id, serverkey::targetObject))
      return false;
    return leftTap(v);
  };
  bool done = false;
  for (int attempt = 0; attempt < kWriteAttempts && !done; ++attempt) {
    if (record.savedTarget) {
      graph_->setTarget(id, record.targetKey, record.savedTarget);
      if (record.targetKey != serverkey::targetObject)
        graph_->setTarget(id, serverkey::targetObject, std::nullopt);
    } else {
      graph_->setTarget(id, serverkey::targetObject, std::nullopt);
    }
    if (ports_.afterTargetWrite) ports_.afterTargetWrite(id, attempt, true);
    done = graph_->waitUntil(restored, verifySeconds(attempt));
  }
  // As in steer(): the links alone decide once the key's change has not come back.
  if (!done && graph_->connected()) done = leftTap(*graph_->view());
  return done;
}

void PipeWireSession::turn() {
  const auto snapshot = graph_->view();
  const PipeWireGraph::View& view = *snapshot;
  if (!view.connected) return;
  reconcile(view);
  keepLevels(*graph_->view());
}

void PipeWireSession::graphChanged(const PipeWireGraph::View& view,
                                   const std::vector<std::uint32_t>* nodes) {
  // Every node, or the nodes the change touched: only the application's output streams (or
  // what were ones) wake the follower. A node is the application's by the pid it declares; the
  // turn itself tells Tavuno's own nodes from it.
  if (!nodes) {
    nudgeFollower();
    return;
  }
  bool ours = false;
  for (std::uint32_t id : *nodes) {
    const auto* node = view.node(id);
    std::optional<std::int32_t> pid;
    if (node) pid = node->mediaClass == "Stream/Output/Audio" ? node->pid : 0;
    if (filter_->touched(id, pid)) ours = true;
  }
  if (ours) nudgeFollower();
}

void PipeWireSession::reconcile(const PipeWireGraph::View& view) {
  // Streams that went away: nothing to restore, the record goes.
  dropWhere([&](std::uint32_t id, const Steered& s) {
    const auto* node = view.node(id);
    return !node || node->serial != s.serial;
  });
  bool yielded = false;
  for (const auto& [id, node] : view.nodes) {
    if (!isAppOutput(view, node)) continue;
    auto it = steered_.find(id);
    const bool rival = rivalHolds(view, id);
    if (it == steered_.end()) {
      if (!rival) (void)steer(node, view, std::nullopt);  // a new stream of the application
      continue;
    }
    if (rival) {
      // Another Tavuno took the stream: it is that one's now, and stop() must not move it.
      yielded = letGo(id) || yielded;
      continue;
    }
    const auto target = view.target(id, serverkey::targetObject);
    if (names(target, tapName_) || (!target && !view.targetsHeard && view.linked(id, tapNode_)))
      continue;
    SteerRecord record = it->second.record;
    if (target && target->rfind(serverkey::namePrefix, 0) != 0) {
      // Another program moved the stream: its choice is what stop() puts back.
      record.targetKey = serverkey::targetObject;
      record.savedTarget = target;
      rewrite(record);
    }
    (void)steer(node, view, record);
  }
  settleRivals(yielded);
}

void PipeWireSession::keepLevels(const PipeWireGraph::View& view) {
  float level = 0.0f;
  bool known = false;
  const PipeWireGraph::Node* last = nullptr;
  for (const auto& [id, s] : steered_) {
    const auto* node = view.node(id);
    if (!node) continue;
    if (!last || id > last->id) last = node;
    if (node->volumesKnown) {
      level = std::max(level, loudest(node->volumes));
      known = true;
    }
  }
  const auto [gain, muted, version] = holdStreamLevel(level, known);
  // A stream quieter than the application's volume is raised to it (never above): the kernel
  // cannot add gain. Where WirePlumber keeps a stream's stored volume from the stream's own
  // (0.5), the stream is held at exactly the application's volume and mute instead: that is
  // the seed its next stream starts at. Otherwise a stream that came up muted by the seed is
  // unmuted once the app is not, and from then on the kernel mutes.
  const bool streamsSeed = view.restoreFollowsStreams;
  for (auto& [id, s] : steered_) {
    const auto* node = view.node(id);
    if (!node) continue;
    if (node->muted != muted && (streamsSeed || !muted)) graph_->setMute(id, muted);
    if (muted && !streamsSeed) continue;
    if (!node->volumesKnown) continue;
    const float own = loudest(node->volumes);
    if (s.requestedVolume && std::fabs(own - *s.requestedVolume) < 1e-3f)
      s.requestedVolume.reset();  // the server took it; a later change elsewhere counts again
    const bool wrong = streamsSeed ? std::fabs(own - gain) > 1e-3f : own < gain - 1e-3f;
    if (!wrong) continue;
    if (s.requestedVolume && std::fabs(*s.requestedVolume - gain) < 1e-4f) continue;
    graph_->setVolume(id, gain);
    s.requestedVolume = gain;
  }
  if (seedDue(version) && last) {
    const std::string key = restoreKey(last->props);
    if (!key.empty()) {
      graph_->setRouteSetting(
          key, restoreValue(gain, last->volumesKnown ? last->volumes.size() : 2, muted));
      seeded(version);
    }
  }
}

void PipeWireSession::seedBeforeStop() {
  keepLevels(*graph_->view());
  // Where the streams' own levels are the seed, WirePlumber stores them once the server
  // reports them: give that a moment before the streams go back (the app may quit next).
  if (graph_->view()->restoreFollowsStreams)
    graph_->waitUntil([&](const auto& v) { return levelsHeld(v); }, 0.5);
}

bool PipeWireSession::levelsHeld(const PipeWireGraph::View& view) {
  const Levels app = levels();
  for (const auto& [id, s] : steered_) {
    const auto* node = view.node(id);
    if (!node) continue;
    if (node->muted != app.muted) return false;
    if (node->volumesKnown && std::fabs(loudest(node->volumes) - app.gain) > 1e-3f) return false;
  }
  return true;
}

void PipeWireSession::release() {
  if (graph_ && watch_) graph_->unwatch(watch_);
  watch_ = 0;
  if (tap_) {
    tap_->destroy();
    tap_.reset();
  }
  tapNode_ = 0;
  graph_.reset();
}

std::string PipeWireSession::restoreKey(const std::map<std::string, std::string>& props) {
  for (const char* key :
       {"media.role", "application.id", "application.name", "media.name", "node.name"}) {
    auto it = props.find(key);
    if (it != props.end())
      return std::string("restore.stream.Output/Audio.") + key + ":" + it->second;
  }
  return {};
}

std::string PipeWireSession::restoreValue(float volume, std::size_t channels, bool muted) {
  char number[32];
  std::snprintf(number, sizeof number, "%.6f", static_cast<double>(std::clamp(volume, 0.0f, 1.0f)));
  std::string volumes, positions;
  const std::size_t n = channels == 1 ? 1 : 2;
  for (std::size_t i = 0; i < n; ++i) {
    volumes += (i ? ", " : "") + std::string(number);
    positions += i ? ", \"FR\"" : (n == 1 ? "\"MONO\"" : "\"FL\"");
  }
  return std::string("{ \"volume\": 1.0, \"mute\": ") + (muted ? "true" : "false") +
         ", \"volumes\": [ " + volumes + " ], \"channels\": [ " + positions + " ] }";
}

int PipeWireSession::sweep(PipeWireGraph& graph, SteerJournal& journal) {
  // The cookie comes with the core's first info, which a fresh connection has by now; without
  // it no record could be proven, so it is given a moment.
  graph.waitUntil([](const PipeWireGraph::View& v) { return v.serverCookie != 0; }, 1.0);
  const auto snapshot = graph.view();
  const PipeWireGraph::View& view = *snapshot;
  int restored = 0;
  journal.update([&](std::vector<SteerRecord>& records) {
    SweepFacts facts{
        view.serverCookie,
        [](std::int32_t pid, std::uint64_t start) {
          auto now = processStartTime(pid);
          return now && *now == start;
        },
        [&](std::uint32_t node, std::uint64_t serial) -> std::optional<std::int32_t> {
          const auto* n = view.node(node);
          if (!n || n->serial != serial || n->mediaClass != "Stream/Output/Audio" || n->pid <= 0)
            return std::nullopt;
          return n->pid;
        }};
    SweepPlan plan = planSweep(records, facts);
    for (const SweepAction& action : plan.actions) {
      graph.setTarget(action.node, action.key, action.value);
      ++restored;
    }
    records = std::move(plan.keep);
  });
  return restored;
}

}  // namespace tavuno
