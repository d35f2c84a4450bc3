#include "platform/linux/PulseSession.h"

#include <pulse/ext-stream-restore.h>
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/text/Integer.h"
#include "base/text/TavunoLanguage.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/PulseGuardian.h"
#include "platform/linux/RivalTavuno.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

constexpr const char* kServer = "PulseAudio";
constexpr int kMoveAttempts = 3;

OSStatus lastError(pa_context* context) {
  return -std::max(1, pa_context_errno(context));
}

// A process id the server reports; 0 when absent or not one.
std::int32_t toPid(const char* text) {
  const auto pid = parseInteger<std::int32_t>(text);
  return pid && *pid > 0 ? *pid : 0;
}

std::uint64_t toStart(const char* text) {
  return parseInteger<std::uint64_t>(text).value_or(0);
}

}  // namespace

struct PulseSession::Rt {
  tdsp_state* dsp = nullptr;
  PulseConnection* connection = nullptr;
  pa_stream* record = nullptr;
  pa_stream* play = nullptr;
  std::uint32_t channels = 2;
  std::vector<float> scratch;
  TapGlueState glue;
  std::atomic<bool> built{false};
  std::atomic<bool> broken{false};

  // The connection's loop thread: every recorded fragment goes through the kernel straight
  // into the playback's write buffer.
  static void read(pa_stream* stream, std::size_t, void* data) {
    auto* rt = static_cast<Rt*>(data);
    const void* chunk = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &chunk, &bytes) == 0 && bytes > 0) {
      const auto* in = static_cast<const float*>(chunk);  // null: a hole, played as silence
      const auto frames = static_cast<std::uint32_t>(bytes / 8);
      const std::uint32_t stride = 4 * rt->channels;
      std::uint32_t done = 0;
      while (done < frames) {
        const std::uint32_t want = std::min(frames - done, kTapScratchFrames);
        void* out = nullptr;
        std::size_t room = std::size_t{want} * stride;
        if (pa_stream_begin_write(rt->play, &out, &room) < 0 || out == nullptr) {
          rt->glue.counters.missingPlayback.fetch_add(1, std::memory_order_relaxed);
          break;
        }
        TapCycle cycle;
        cycle.capture = in ? in + 2 * std::size_t{done} : nullptr;
        cycle.captureFrames = in ? want : 0;
        cycle.playback = static_cast<float*>(out);
        cycle.playbackFrames = static_cast<std::uint32_t>(room / stride);
        cycle.requestedFrames = want;
        cycle.channels = rt->channels;
        const std::uint32_t n = tapGlueProcess(rt->dsp, rt->glue, cycle);
        pa_stream_write(rt->play, out, std::size_t{n} * stride, nullptr, 0, PA_SEEK_RELATIVE);
        if (n == 0) break;
        done += n;
      }
      pa_stream_drop(stream);
    }
  }

  static void state(pa_stream* stream, void* data) {
    auto* rt = static_cast<Rt*>(data);
    const auto s = pa_stream_get_state(stream);
    if (rt->built && !PA_STREAM_IS_GOOD(s)) rt->broken = true;
    rt->connection->signal();
  }

  // With the loop locked.
  bool waitReady(pa_stream* stream) {
    return connection->waitLocked(
               [&] {
                 auto s = pa_stream_get_state(stream);
                 return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
               },
               2.0) &&
           pa_stream_get_state(stream) == PA_STREAM_READY;
  }

  void disconnect() {
    for (pa_stream** s : {&record, &play}) {
      if (!*s) continue;
      pa_stream_set_read_callback(*s, nullptr, nullptr);
      pa_stream_set_state_callback(*s, nullptr, nullptr);
      pa_stream_disconnect(*s);
      pa_stream_unref(*s);
      *s = nullptr;
    }
  }
};

PulseSession::PulseSession(PulseSessionPorts ports)
    : SteeredSession(ports.plane, ports.journal), ports_(std::move(ports)) {}

PulseSession::~PulseSession() {
  stop();
}

bool PulseSession::streamsBroken() const {
  return rt_ && rt_->broken;
}

bool PulseSession::serverUp() const {
  return connection_ && connection_->connected();
}

std::vector<PulseSession::Input> PulseSession::listInputs() {
  std::vector<Input> inputs;
  connection_->run([&] {
    return pa_context_get_sink_input_info_list(
        connection_->context(),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
          if (eol || !info) return;
          Input input;
          input.index = info->index;
          input.sink = info->sink;
          input.pid = toPid(pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID));
          // Tavuno's own streams (this one's or another's) carry its mark; the mark counts only
          // while it names a Tavuno that runs, since any client can set it.
          input.ours =
              liveTavunoMark(toPid(pa_proplist_gets(info->proplist, serverkey::ownerPid)),
                             toStart(pa_proplist_gets(info->proplist, serverkey::ownerStart)),
                             std::nullopt, processStartTime);
          input.muted = info->mute != 0;
          input.volume =
              info->volume.channels
                  ? static_cast<float>(pa_sw_volume_to_linear(pa_cvolume_max(&info->volume)))
                  : 1.0f;
          for (const char* key : {"media.role", "application.id", "application.name", "media.name"})
            if (const char* v = pa_proplist_gets(info->proplist, key)) input.props[key] = v;
          static_cast<std::vector<Input>*>(data)->push_back(std::move(input));
        },
        &inputs);
  });
  return inputs;
}

std::vector<PulseSession::Sink> PulseSession::listSinks(std::string& defaultSink) {
  std::vector<Sink> sinks;
  connection_->run([&] {
    return pa_context_get_sink_info_list(
        connection_->context(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
          if (eol || !info) return;
          static_cast<std::vector<Sink>*>(data)->push_back(
              {info->index, info->name ? info->name : "",
               toPid(pa_proplist_gets(info->proplist, serverkey::ownerPid)),
               toStart(pa_proplist_gets(info->proplist, serverkey::ownerStart))});
        },
        &sinks);
  });
  connection_->run([&] {
    return pa_context_get_server_info(
        connection_->context(),
        [](pa_context*, const pa_server_info* info, void* data) {
          if (info && info->default_sink_name)
            *static_cast<std::string*>(data) = info->default_sink_name;
        },
        &defaultSink);
  });
  return sinks;
}

bool PulseSession::moveTo(std::uint32_t input, const std::string& sink) {
  int success = 0;
  connection_->run([&] {
    return pa_context_move_sink_input_by_name(
        connection_->context(), input, sink.c_str(),
        [](pa_context*, int ok, void* data) { *static_cast<int*>(data) = ok; }, &success);
  });
  return success != 0;
}

bool PulseSession::onRivalSink(const Input& input, const std::vector<Sink>& sinks) {
  for (const Sink& sink : sinks)
    if (sink.index == input.sink)
      return ownedByRival(sink.ownerPid, sink.ownerStart, static_cast<std::int32_t>(::getpid()),
                          processStartTime);
  return false;
}

std::optional<SessionFailure> PulseSession::open(const SessionControlPlane::Output& output) {
  std::string error;
  connection_ = PulseConnection::connect(error);
  if (!connection_)
    return SessionFailure::server(textKey("Conectar ao servidor de áudio"), -ECONNREFUSED, kServer);
  serverCookie_ = connection_->serverCookie();
  connection_->follow(pids(), [this] { nudgeFollower(); });
  // An application another Tavuno already holds is left to it, whole.
  {
    std::string ignored;
    const auto sinks = listSinks(ignored);
    for (const Input& input : listInputs()) {
      if (!input.ours && tapped(input.pid) && onRivalSink(input, sinks))
        return SessionFailure::unsupported(tr("Outro Tavuno já controla este aplicativo."));
    }
  }
  pa_context* context = connection_->context();
  const auto self = static_cast<std::int32_t>(::getpid());
  claimTapName();
  const std::uint32_t rate = output.rate;
  const std::string arguments =
      "sink_name=" + tapName_ + " rate=" + std::to_string(rate) +
      " channels=2 format=float32le sink_properties=\"" + serverkey::ownerPid + "=" +
      std::to_string(self) + " " + serverkey::ownerStart + "=" +
      std::to_string(processStartTime(self).value_or(0)) + " device.description=Tavuno\"";
  // Running before the null sink exists, so that it learns of it at once: a kill can come at any
  // moment from here on. Without a guardian the sessions still run, and the next start-up sweep
  // is what cleans up after a kill.
  if (ports_.guardian) ports_.guardian->start();
  std::uint32_t module = PA_INVALID_INDEX;
  connection_->run([&] {
    return pa_context_load_module(
        context, "module-null-sink", arguments.c_str(),
        [](pa_context*, std::uint32_t index, void* data) {
          *static_cast<std::uint32_t*>(data) = index;
        },
        &module);
  });
  if (module == PA_INVALID_INDEX)
    return SessionFailure::server(textKey("Criar captura"), lastError(context), kServer);
  module_ = module;
  moduleLoaded_ = true;
  if (ports_.guardian) ports_.guardian->tapLoaded(module_, tapName_);
  std::string defaultSink;
  for (const Sink& sink : listSinks(defaultSink))
    if (sink.name == tapName_) tapIndex_ = sink.index;

  rt_ = std::make_unique<Rt>();
  rt_->dsp = dsp_;
  rt_->connection = connection_.get();
  rt_->channels = output.channels;
  rt_->scratch.assign(2 * kTapScratchFrames, 0.0f);
  rt_->glue.scratch = rt_->scratch.data();
  rt_->glue.scratchFrames = kTapScratchFrames;
  rt_->glue.lastFrames = rate * latencyMs / 1000;
  std::optional<SessionFailure> failure;
  connection_->lock();
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, serverkey::ownerPid, std::to_string(self).c_str());
  pa_proplist_sets(props, serverkey::ownerStart,
                   std::to_string(processStartTime(self).value_or(0)).c_str());
  const pa_sample_spec playSpec{PA_SAMPLE_FLOAT32LE, rate,
                                static_cast<std::uint8_t>(rt_->channels)};
  const pa_sample_spec tapSpec{PA_SAMPLE_FLOAT32LE, rate, 2};
  const std::uint32_t latencyBytes =
      static_cast<std::uint32_t>(pa_usec_to_bytes(latencyMs * 1000, &playSpec));
  pa_buffer_attr playAttr{static_cast<std::uint32_t>(-1), latencyBytes,
                          static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                          static_cast<std::uint32_t>(-1)};
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY);
  rt_->play = pa_stream_new_with_proplist(context, "Tavuno", &playSpec, nullptr, props);
  if (rt_->play) {
    pa_stream_set_state_callback(rt_->play, Rt::state, rt_.get());
    if (pa_stream_connect_playback(rt_->play, output.nodeName.c_str(), &playAttr, flags, nullptr,
                                   nullptr) < 0 ||
        !rt_->waitReady(rt_->play))
      failure = SessionFailure::server(textKey("Preparar reprodução"), lastError(context), kServer);
  } else {
    failure = SessionFailure::server(textKey("Preparar reprodução"), lastError(context), kServer);
  }
  if (!failure) {
    pa_buffer_attr recordAttr{
        static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
        static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
        static_cast<std::uint32_t>(pa_usec_to_bytes(latencyMs * 1000, &tapSpec))};
    rt_->record = pa_stream_new_with_proplist(context, "Tavuno", &tapSpec, nullptr, props);
    const std::string monitor = tapName_ + ".monitor";
    if (rt_->record) {
      pa_stream_set_state_callback(rt_->record, Rt::state, rt_.get());
      pa_stream_set_read_callback(rt_->record, Rt::read, rt_.get());
      if (pa_stream_connect_record(rt_->record, monitor.c_str(), &recordAttr, flags) < 0 ||
          !rt_->waitReady(rt_->record))
        failure =
            SessionFailure::server(textKey("Iniciar reprodução"), lastError(context), kServer);
    } else {
      failure = SessionFailure::server(textKey("Iniciar reprodução"), lastError(context), kServer);
    }
  }
  pa_proplist_free(props);
  rt_->built = !failure;
  connection_->unlock();
  if (failure) return failure;

  for (const Input& input : listInputs()) {
    if (input.ours || !tapped(input.pid)) continue;
    const auto sinks = listSinks(defaultSink);
    if (onRivalSink(input, sinks)) continue;
    if (auto moved = move(input, sinks, defaultSink)) return moved;
  }
  return std::nullopt;
}

std::optional<SessionFailure> PulseSession::move(const Input& input, const std::vector<Sink>& sinks,
                                                 const std::string& defaultSink) {
  // Indexes are never reused within a server run: the index is the stream's serial too.
  auto known = steered_.find(input.index);
  SteerRecord r = known != steered_.end()
                      ? known->second.record
                      : newRecord(input.index, input.index, input.pid, serverCookie_);
  for (const Sink& sink : sinks) {
    if (sink.index == input.sink && sink.index != tapIndex_ &&
        sink.name.rfind(serverkey::namePrefix, 0) != 0) {
      r.sink = sink.name;
      r.sinkWasDefault = sink.name == defaultSink;
    }
  }
  if (known == steered_.end()) {
    if (!record(r))
      return SessionFailure::server(textKey("Registrar o direcionamento"), -EIO, kServer);
  } else {
    rewrite(r);
  }
  Steered& steered = track(input.index);
  steered.serial = input.index;
  steered.record = r;
  {
    const auto [gain, muted, version] = levels();
    // The fallback for a stream the restore entry did not reach: down to the app's volume,
    // muted when the app is.
    if (input.volume > gain + 1e-3f) {
      pa_cvolume volume;
      pa_cvolume_set(&volume, 2, pa_sw_volume_from_linear(gain));
      connection_->run([&] {
        return pa_context_set_sink_input_volume(connection_->context(), input.index, &volume,
                                                nullptr, nullptr);
      });
    }
    if (muted && !input.muted) setInputMute(input.index, true);
  }
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    moveTo(input.index, tapName_);
    for (const Input& now : listInputs())
      if (now.index == input.index && now.sink == tapIndex_) return std::nullopt;
  }
  return SessionFailure::server(textKey("Direcionar o áudio do aplicativo"), -ETIMEDOUT, kServer);
}

double PulseSession::beatSeconds() const {
  return ports_.guardian ? 0.1 : 0.0;
}

void PulseSession::beat() {
  // A guardian that died (killed, out of memory) is replaced within a beat or so: a kill of
  // Tavuno must still find one.
  if (ports_.guardian) ports_.guardian->keepRunning();
}

void PulseSession::turn() {
  if (!connection_->connected()) return;
  std::string defaultSink;
  const auto sinks = listSinks(defaultSink);
  const auto inputs = listInputs();
  dropWhere([&](std::uint32_t index, const Steered&) {
    return std::none_of(inputs.begin(), inputs.end(),
                        [&](const Input& i) { return i.index == index; });
  });
  bool yielded = false;
  for (const Input& input : inputs) {
    if (input.ours || !tapped(input.pid) || input.sink == tapIndex_) continue;
    if (onRivalSink(input, sinks)) {
      // Another Tavuno took the stream: it is that one's now, and stop() must not move it.
      yielded = letGo(input.index) || yielded;
      continue;
    }
    // New, or moved away by another program: that sink becomes the one stop() restores.
    (void)move(input, sinks, defaultSink);
  }
  settleRivals(yielded);
  keepLevels(listInputs());
}

void PulseSession::keepLevels(const std::vector<Input>& inputs) {
  float level = 0.0f;
  bool known = false;
  const Input* last = nullptr;
  for (const Input& input : inputs) {
    if (!steered_.count(input.index)) continue;
    level = std::max(level, input.volume);
    known = true;
    if (!last || input.index > last->index) last = &input;
  }
  const auto [gain, muted, version] = holdStreamLevel(level, known);
  // The streams are kept at the app's volume and mute themselves: PulseAudio's stream-restore
  // saves a stream's volume and mute whenever the stream changes (a move included), so a
  // stream left louder or unmuted would overwrite the seeded entry. Raising is safe (the kernel
  // never adds gain), lowering dips for the few milliseconds until the kernel follows.
  for (const Input& input : inputs)
    if (steered_.count(input.index) && input.muted != muted) setInputMute(input.index, muted);
  if (!muted) {
    for (const Input& input : inputs) {
      if (!steered_.count(input.index)) continue;
      if (std::fabs(input.volume - gain) < 1e-3f) continue;
      pa_cvolume volume;
      pa_cvolume_set(&volume, 2, pa_sw_volume_from_linear(gain));
      connection_->run([&] {
        return pa_context_set_sink_input_volume(connection_->context(), input.index, &volume,
                                                nullptr, nullptr);
      });
    }
  }
  if (!seedDue(version) || !last) return;
  const std::string entry = restoreEntry(last->props);
  if (entry.empty()) return;
  // Keep the device the entry remembers; only the volume and mute are ours to seed.
  std::string device;
  std::pair<std::string, std::string> lookup{entry, ""};
  connection_->run([&] {
    return pa_ext_stream_restore_read(
        connection_->context(),
        [](pa_context*, const pa_ext_stream_restore_info* info, int eol, void* data) {
          auto* found = static_cast<std::pair<std::string, std::string>*>(data);
          if (!eol && info && info->name && found->first == info->name && info->device)
            found->second = info->device;
        },
        &lookup);
  });
  device = lookup.second;
  pa_ext_stream_restore_info info{};
  info.name = entry.c_str();
  pa_channel_map_init_stereo(&info.channel_map);
  pa_cvolume_set(&info.volume, 2, pa_sw_volume_from_linear(gain));
  info.device = device.empty() ? nullptr : device.c_str();
  info.mute = muted ? 1 : 0;
  // Not applied to the live streams: the next start is what the entry is for.
  if (connection_->run([&] {
        return pa_ext_stream_restore_write(connection_->context(), PA_UPDATE_REPLACE, &info, 1, 0,
                                           nullptr, nullptr);
      }))
    seeded(version);
}

void PulseSession::setInputMute(std::uint32_t index, bool muted) {
  connection_->run([&] {
    return pa_context_set_sink_input_mute(connection_->context(), index, muted ? 1 : 0, nullptr,
                                          nullptr);
  });
}

void PulseSession::seedBeforeStop() {
  keepLevels(listInputs());
}

bool PulseSession::restore(std::uint32_t index, const Steered& steered) {
  // The server went away and took the streams with it; a restarted one numbers its streams
  // afresh, so the record could only ever name someone else's.
  if (!connection_ || !connection_->connected()) return true;
  const SteerRecord& record = steered.record;
  std::string defaultSink;
  const auto sinks = listSinks(defaultSink);
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    const auto inputs = listInputs();
    auto now = std::find_if(inputs.begin(), inputs.end(),
                            [&](const Input& i) { return i.index == index; });
    // A stream that is gone is restored; one another Tavuno holds is its.
    if (now == inputs.end() || onRivalSink(*now, sinks)) return true;
    const bool sinkThere = std::any_of(sinks.begin(), sinks.end(),
                                       [&](const Sink& s) { return s.name == record.sink; });
    const std::string target = sinkThere ? record.sink : defaultSink;
    moveTo(index, target);
    for (const Input& after : listInputs())
      for (const Sink& s : sinks)
        if (after.index == index && s.index == after.sink && s.name == target) return true;
  }
  return false;
}

void PulseSession::release() {
  if (rt_ && connection_) {
    connection_->lock();
    rt_->built = false;
    rt_->disconnect();
    connection_->unlock();
  }
  if (moduleLoaded_ && connection_) {
    int success = 0;
    connection_->run([&] {
      return pa_context_unload_module(
          connection_->context(), module_,
          [](pa_context*, int ok, void* data) { *static_cast<int*>(data) = ok; }, &success);
    });
    // Unloaded or not, the null sink is the server's to keep; only a live one is a failure (and
    // stays the guardian's to unload when Tavuno ends).
    if (!success && connection_->connected()) {
      cleanupFailed_ = true;
    } else if (ports_.guardian) {
      ports_.guardian->tapUnloaded(module_);
    }
    moduleLoaded_ = false;
  }
  rt_.reset();
  connection_.reset();
  tapIndex_ = 0;
}

std::string PulseSession::restoreEntry(const std::map<std::string, std::string>& props) {
  static const std::pair<const char*, const char*> keys[] = {
      {"media.role", "sink-input-by-media-role:"},
      {"application.id", "sink-input-by-application-id:"},
      {"application.name", "sink-input-by-application-name:"},
      {"media.name", "sink-input-by-media-name:"}};
  for (const auto& [key, prefix] : keys) {
    auto it = props.find(key);
    if (it != props.end()) return prefix + it->second;
  }
  return {};
}

}  // namespace tavuno
