#include "platform/linux/PipeWireTap.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/text/TavunoLanguage.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

constexpr const char* kServer = "PipeWire";
constexpr const char* kMediaName = "Tavuno";
// PW_STREAM_FLAG_ASYNC of the 1.x headers (0.3.73 on); the 0.3.65 headers lack it.
constexpr int kStreamFlagAsync = 1 << 10;

}  // namespace

struct PipeWireTap::Rt {
  PipeWireTap* owner = nullptr;
  pw_thread_loop* loop = nullptr;
  pw_stream* tap = nullptr;
  pw_stream* play = nullptr;
  spa_hook tapListener{};
  spa_hook playListener{};
  std::uint32_t channels = 2;
  const CycleObserver* observer = nullptr;
  std::atomic<int> tapState{PW_STREAM_STATE_UNCONNECTED};
  std::atomic<int> playState{PW_STREAM_STATE_UNCONNECTED};
  bool built = false;
  const bool playDoesTheWork = std::atoi(pw_get_library_version()) >= 1;

  // Real-time: the graph's data thread. With the 1.x client library the tap's cycle only
  // triggers the playback, which runs in this same graph cycle and does the work there (1.x
  // runs a triggered stream through its own process event and recycles its buffers only
  // then). The 0.3 library runs the triggered playback after the tap's cycle, so there the
  // tap's cycle does the work and then triggers it. When the playback cannot be triggered,
  // the capture is handed back unread.
  static void tapProcess(void* data) {
    auto* rt = static_cast<Rt*>(data);
    if (!rt->playDoesTheWork) {
      cycle(rt);
      pw_stream_trigger_process(rt->play);
      return;
    }
    if (pw_stream_trigger_process(rt->play) >= 0) return;
    rt->owner->glue_.counters.missingPlayback.fetch_add(1, std::memory_order_relaxed);
    while (pw_buffer* in = pw_stream_dequeue_buffer(rt->tap))
      pw_stream_queue_buffer(rt->tap, in);
  }

  // Real-time: steps of one cycle: take the newest capture and the playback buffer, run the
  // glue, hand both back.
  static void playCycle(void* data) {
    auto* rt = static_cast<Rt*>(data);
    if (rt->playDoesTheWork) cycle(rt);
  }

  static void cycle(Rt* rt) {
    const CycleObserver* observer = rt->observer;
    if (observer) observer->begin(observer->context);
    pw_buffer* in = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(rt->tap)) {
      if (in) pw_stream_queue_buffer(rt->tap, in);
      in = next;
    }
    pw_buffer* out = pw_stream_dequeue_buffer(rt->play);
    if (out == nullptr) {
      rt->owner->glue_.counters.missingPlayback.fetch_add(1, std::memory_order_relaxed);
      if (in) pw_stream_queue_buffer(rt->tap, in);
      if (observer) observer->end(observer->context);
      return;
    }
    TapCycle cycle;
    if (in && in->buffer->n_datas > 0 && in->buffer->datas[0].data && in->buffer->datas[0].chunk) {
      const spa_data& d = in->buffer->datas[0];
      const std::uint32_t offset = std::min(d.chunk->offset, d.maxsize);
      const std::uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
      cycle.capture =
          reinterpret_cast<const float*>(static_cast<const std::uint8_t*>(d.data) + offset);
      cycle.captureFrames = size / 8;
    }
    spa_data& o = out->buffer->datas[0];
    const std::uint32_t stride = 4 * rt->channels;
    if (out->buffer->n_datas == 0 || o.data == nullptr || o.chunk == nullptr) {
      if (in) pw_stream_queue_buffer(rt->tap, in);
      pw_stream_queue_buffer(rt->play, out);
      if (observer) observer->end(observer->context);
      return;
    }
    cycle.playback = static_cast<float*>(o.data);
    cycle.playbackFrames = o.maxsize / stride;
    cycle.requestedFrames = rt->playDoesTheWork ? 0 : static_cast<std::uint32_t>(out->requested);
    cycle.channels = rt->channels;
    const std::uint32_t n = tapGlueProcess(rt->owner->dsp_, rt->owner->glue_, cycle);
    o.chunk->offset = 0;
    o.chunk->size = n * stride;
    o.chunk->stride = static_cast<std::int32_t>(stride);
    if (in) pw_stream_queue_buffer(rt->tap, in);
    pw_stream_queue_buffer(rt->play, out);
    if (observer) observer->end(observer->context);
  }

  // The loop thread.
  static void tapStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* rt = static_cast<Rt*>(data);
    rt->tapState.store(state);
    rt->noteState(state);
  }
  static void playStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* rt = static_cast<Rt*>(data);
    rt->playState.store(state);
    rt->noteState(state);
  }
  void noteState(pw_stream_state state) {
    if (built && (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED))
      owner->broken_.store(true, std::memory_order_relaxed);
    pw_thread_loop_signal(loop, false);
  }

  // With the loop locked: waits up to two seconds for the stream to reach at least `want`.
  bool waitFor(const std::atomic<int>& state, pw_stream_state want) {
    timespec deadline;
    pw_thread_loop_get_time(loop, &deadline, 2 * SPA_NSEC_PER_SEC);
    while (state.load() < want) {
      if (state.load() == PW_STREAM_STATE_ERROR) return false;
      if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0) return state.load() >= want;
    }
    return true;
  }
};

PipeWireTap::PipeWireTap(std::shared_ptr<PipeWireGraph> graph, tdsp_state* dsp)
    : graph_(std::move(graph)), dsp_(dsp), rt_(std::make_unique<Rt>()) {
  rt_->owner = this;
  rt_->loop = graph_->loop();
}

PipeWireTap::~PipeWireTap() {
  destroy();
}

namespace {

const spa_pod* formatPod(spa_pod_builder& b, std::uint32_t rate, std::uint32_t channels) {
  spa_audio_info_raw info{};
  info.format = SPA_AUDIO_FORMAT_F32;
  info.rate = rate;
  info.channels = channels;
  if (channels == 1) {
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
  } else {
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
  }
  return spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info);
}

OSStatus streamStatus(int state) {
  return state == PW_STREAM_STATE_ERROR ? -EIO : -ETIMEDOUT;
}

}  // namespace

std::optional<SessionFailure> PipeWireTap::build(const Options& options) {
  // Allocated here, never in the callback: as long as the longest cycle the server allows, so
  // a padded cycle is one kernel call; a longer one still plays, in chunks.
  const std::uint32_t scratchFrames = tapScratchFrames(options.maxQuantum);
  scratch_.assign(2 * std::size_t{scratchFrames}, 0.0f);
  glue_.scratch = scratch_.data();
  glue_.scratchFrames = scratchFrames;
  glue_.lastFrames = 1024;
  rt_->channels = options.channels == 1 ? 1 : 2;
  rt_->observer = options.observer;

  std::optional<SessionFailure> failure;
  graph_->withLoopLocked([&] {
    const std::string owner = std::to_string(options.ownerPid);
    const std::string start = std::to_string(options.ownerStart);
    const std::string latency = "1024/" + std::to_string(options.rate);
    const std::string rate = "1/" + std::to_string(options.rate);

    // The tap: a sink node of Tavuno's own, hidden from the Hal by its owner properties. The
    // session manager remembers each stream's volume under its media name whatever the
    // state.restore-* properties say (WirePlumber 0.4 reads them as booleans, and properties are
    // strings), so both streams carry one fixed media name: one remembered entry for all of
    // Tavuno's streams instead of a new pair in the user's state at every start.
    pw_properties* tapProps = pw_properties_new(
        PW_KEY_MEDIA_NAME, kMediaName, PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS, "Audio/Sink",
        PW_KEY_NODE_NAME, options.tapName.c_str(), PW_KEY_NODE_DESCRIPTION, "Tavuno",
        PW_KEY_NODE_VIRTUAL, "true", PW_KEY_NODE_GROUP, options.group.c_str(),
        PW_KEY_NODE_LINK_GROUP, options.group.c_str(), PW_KEY_NODE_LATENCY, latency.c_str(),
        PW_KEY_NODE_RATE, rate.c_str(), PW_KEY_PRIORITY_SESSION, "0", PW_KEY_PRIORITY_DRIVER, "0",
        serverkey::ownerPid, owner.c_str(), serverkey::ownerStart, start.c_str(),
        "state.restore-props", "false", nullptr);
    rt_->tap = pw_stream_new(graph_->core(), options.tapName.c_str(), tapProps);
    if (!rt_->tap) {
      failure = SessionFailure::server(textKey("Criar captura"), -errno, kServer);
      return;
    }
    static const pw_stream_events tapEvents = {.version = PW_VERSION_STREAM_EVENTS,
                                               .state_changed = Rt::tapStateChanged,
                                               .process = Rt::tapProcess};
    pw_stream_add_listener(rt_->tap, &rt_->tapListener, &tapEvents, rt_.get());
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* tapFormat = formatPod(b, options.rate, 2);
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     PW_STREAM_FLAG_RT_PROCESS | PW_STREAM_FLAG_INACTIVE);
    // With the 1.x library the tap's buffers are taken in the playback's process event, not in
    // its own: it says so (the ASYNC flag, 1.x only), or the graph stops feeding it every cycle.
    const auto tapFlags =
        rt_->playDoesTheWork ? static_cast<pw_stream_flags>(flags | kStreamFlagAsync) : flags;
    if (int res =
            pw_stream_connect(rt_->tap, PW_DIRECTION_INPUT, PW_ID_ANY, tapFlags, &tapFormat, 1);
        res < 0) {
      failure = SessionFailure::server(textKey("Criar captura"), res, kServer);
      return;
    }
    if (!rt_->waitFor(rt_->tapState, PW_STREAM_STATE_PAUSED)) {
      failure =
          SessionFailure::server(textKey("Criar captura"), streamStatus(rt_->tapState), kServer);
      return;
    }
    tapNode_ = pw_stream_get_node_id(rt_->tap);

    // The playback to the chosen output, pinned there: if the output goes, so does the path.
    pw_properties* playProps = pw_properties_new(
        PW_KEY_MEDIA_NAME, kMediaName, PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
        "Playback", PW_KEY_NODE_NAME, options.playName.c_str(), PW_KEY_NODE_DESCRIPTION, "Tavuno",
        PW_KEY_TARGET_OBJECT, options.outputNode.c_str(), PW_KEY_NODE_DONT_RECONNECT, "true",
        PW_KEY_NODE_GROUP, options.group.c_str(), PW_KEY_NODE_LINK_GROUP, options.group.c_str(),
        PW_KEY_NODE_LATENCY, latency.c_str(), PW_KEY_NODE_RATE, rate.c_str(),
        "state.restore-target", "false", "state.restore-props", "false", serverkey::ownerPid,
        owner.c_str(), serverkey::ownerStart, start.c_str(), nullptr);
    rt_->play = pw_stream_new(graph_->core(), options.playName.c_str(), playProps);
    if (!rt_->play) {
      failure = SessionFailure::server(textKey("Preparar reprodução"), -errno, kServer);
      return;
    }
    static const pw_stream_events playEvents = {.version = PW_VERSION_STREAM_EVENTS,
                                                .state_changed = Rt::playStateChanged,
                                                .process = Rt::playCycle};
    pw_stream_add_listener(rt_->play, &rt_->playListener, &playEvents, rt_.get());
    b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* playFormat = formatPod(b, options.rate, rt_->channels);
    const auto playFlags = static_cast<pw_stream_flags>(flags | PW_STREAM_FLAG_TRIGGER);
    if (int res =
            pw_stream_connect(rt_->play, PW_DIRECTION_OUTPUT, PW_ID_ANY, playFlags, &playFormat, 1);
        res < 0) {
      failure = SessionFailure::server(textKey("Preparar reprodução"), res, kServer);
      return;
    }
    if (!rt_->waitFor(rt_->playState, PW_STREAM_STATE_PAUSED)) {
      failure = SessionFailure::server(textKey("Preparar reprodução"), streamStatus(rt_->playState),
                                       kServer);
      return;
    }
    playNode_ = pw_stream_get_node_id(rt_->play);

    rt_->built = true;
    int res = pw_stream_set_active(rt_->play, true);
    if (res >= 0) res = pw_stream_set_active(rt_->tap, true);
    if (res < 0) failure = SessionFailure::server(textKey("Iniciar reprodução"), res, kServer);
  });
  return failure;
}

namespace {

int noop(spa_loop*, bool, std::uint32_t, const void*, std::size_t, void*) {
  return 0;
}

}  // namespace

void PipeWireTap::destroy() {
  if (!rt_ || (!rt_->tap && !rt_->play)) return;
  graph_->withLoopLocked([&] {
    rt_->built = false;
    if (rt_->tap) pw_stream_set_active(rt_->tap, false);
    if (rt_->play) pw_stream_set_active(rt_->play, false);
    // A blocking no-op on the data loop: any cycle under way has finished when it returns.
    pw_data_loop_invoke(pw_context_get_data_loop(graph_->context()), noop, 0, nullptr, 0, true,
                        nullptr);
    if (rt_->tap) {
      spa_hook_remove(&rt_->tapListener);
      pw_stream_destroy(rt_->tap);
      rt_->tap = nullptr;
    }
    if (rt_->play) {
      spa_hook_remove(&rt_->playListener);
      pw_stream_destroy(rt_->play);
      rt_->play = nullptr;
    }
  });
}

}  // namespace tavuno
