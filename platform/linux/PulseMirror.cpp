#include "platform/linux/PulseMirror.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/PulseMirrorImpl.h"

namespace tavuno {

namespace {

timeval after(double seconds) {
  timeval tv;
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, static_cast<pa_usec_t>(seconds * 1e6));
  return tv;
}

}  // namespace

void PulseMirror::Impl::start() {
  loop = pa_threaded_mainloop_new();
  api = pa_threaded_mainloop_get_api(loop);
  wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  pa_threaded_mainloop_lock(loop);
  wakeEvent = api->io_new(
      api, wakeFd, PA_IO_EVENT_INPUT,
      [](pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* data) {
        auto* self = static_cast<Impl*>(data);
        std::uint64_t count = 0;
        [[maybe_unused]] auto n = ::read(fd, &count, sizeof count);
        std::vector<std::function<void()>> work;
        {
          std::lock_guard lock(self->queueMutex);
          work.swap(self->queue);
        }
        for (auto& item : work)
          item();
      },
      this);
  publishEvent = api->defer_new(
      api,
      [](pa_mainloop_api*, pa_defer_event*, void* data) {
        static_cast<Impl*>(data)->publish(false);
      },
      this);
  api->defer_enable(publishEvent, 0);
  running = true;
  {
    std::lock_guard lock(queueMutex);
    accepting = true;
  }
  connect();
  pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_start(loop);
}

void PulseMirror::Impl::stop() {
  if (!loop) return;
  running = false;
  {
    std::lock_guard lock(queueMutex);
    accepting = false;
  }
  pa_threaded_mainloop_lock(loop);
  if (context) {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
  }
  if (deadContext) pa_context_unref(deadContext);
  deadContext = nullptr;
  forgetRequests();
  for (auto* event : {reconnectEvent, graceEvent, infoRecheckEvent})
    if (event) api->time_free(event);
  reconnectEvent = graceEvent = infoRecheckEvent = nullptr;
  api->defer_free(publishEvent);
  api->io_free(wakeEvent);
  pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_stop(loop);
  pa_threaded_mainloop_free(loop);
  loop = nullptr;
  ::close(wakeFd);
  // Work queued after the last wake-up is answered here.
  std::vector<std::function<void()>> work;
  {
    std::lock_guard lock(queueMutex);
    work.swap(queue);
  }
  for (auto& item : work)
    item();
}

void PulseMirror::Impl::post(std::function<void()> work) {
  std::unique_lock lock(queueMutex);
  if (!accepting) {
    lock.unlock();
    work();  // sees the mirror stopped and answers at once
    return;
  }
  queue.push_back(std::move(work));
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(wakeFd, &one, sizeof one);
}

void PulseMirror::Impl::write(
    std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)> issue, Done done) {
  post([this, issue = std::move(issue), done = std::move(done)]() mutable {
    // Runs after stop() too (from its last drain), when nothing is connected.
    if (!running || !ready || !context) {
      if (done) done(false);
      return;
    }
    Request* request = track(0, kNoIndex, std::move(done));
    pa_operation* operation = issue(
        context,
        [](pa_context*, int success, void* data) {
          auto* request = static_cast<Request*>(data);
          Impl* self = of(request);
          Done done = std::move(request->done);
          self->inflight.erase(request);
          if (done) done(success != 0);
        },
        request);
    if (operation) {
      pa_operation_unref(operation);
    } else {
      Done failed = std::move(request->done);
      inflight.erase(request);
      if (failed) failed(false);
    }
  });
}

void PulseMirror::Impl::connect() {
  state = ServerState{};
  ready = synced = false;
  pendingInfo.clear();
  tombstones.clear();
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Tavuno");
  context = pa_context_new_with_proplist(api, "Tavuno", properties);
  pa_proplist_free(properties);
  if (!context) {
    scheduleReconnect();
    return;
  }
  pa_context_set_state_callback(
      context, [](pa_context*, void* data) { static_cast<Impl*>(data)->onState(); }, this);
  pa_context_set_subscribe_callback(
      context,
      [](pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* data) {
        static_cast<Impl*>(data)->onEvent(type, index);
      },
      this);
  const char* server = options.server.empty() ? nullptr : options.server.c_str();
  if (pa_context_connect(context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) lose();
}

void PulseMirror::Impl::onState() {
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_SETTING_NAME:  // the server answered the authentication
      answered = true;
      break;
    case PA_CONTEXT_READY:
      onReady();
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      lose();
      break;
    default:
      break;
  }
}

void PulseMirror::Impl::forgetRequests() {
  auto requests = std::move(inflight);
  inflight.clear();
  for (auto& [pointer, request] : requests)
    if (request->done) request->done(false);
}

void PulseMirror::Impl::lose() {
  if (context) {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    if (deadContext) pa_context_unref(deadContext);
    deadContext = context;  // unreferenced later, outside its own callback
    context = nullptr;
  }
  ready = synced = false;
  forgetRequests();
  if (infoRecheckEvent) api->time_free(infoRecheckEvent);
  infoRecheckEvent = nullptr;
  api->defer_enable(publishEvent, 0);
  // The last snapshot stays for the grace period: a server coming back
  // within it changes nothing anyone can see.
  if (everSynced && !inGrace && hub.snapshot()->connected) {
    inGrace = true;
    graceDevices.clear();
    for (const auto& [id, facts] : hub.snapshot()->table.devices())
      graceDevices.insert(id);
    const timeval when = after(options.gracePeriod);
    graceEvent = api->time_new(
        api, &when,
        [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* data) {
          auto* self = static_cast<Impl*>(data);
          api->time_free(event);
          self->graceEvent = nullptr;
          self->inGrace = false;
          if (self->synced)
            self->publish(true);
          else
            self->publishDisconnected();
        },
        this);
  }
  scheduleReconnect();
}

void PulseMirror::Impl::scheduleReconnect() {
  if (reconnectEvent || !running) return;
  const timeval when = after(backoff);
  backoff = std::min(backoff * 2, kMirrorLastBackoff);
  reconnectEvent = api->time_new(
      api, &when,
      [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* data) {
        auto* self = static_cast<Impl*>(data);
        api->time_free(event);
        self->reconnectEvent = nullptr;
        if (self->deadContext) pa_context_unref(self->deadContext);
        self->deadContext = nullptr;
        if (self->running) self->connect();
      },
      this);
}

void PulseMirror::Impl::scheduleInfoRecheck() {
  if (!running) return;
  const timeval when = after(kMirrorInfoRecheck);
  if (infoRecheckEvent) {
    api->time_restart(infoRecheckEvent, &when);
    return;
  }
  infoRecheckEvent = api->time_new(
      api, &when,
      [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* data) {
        auto* self = static_cast<Impl*>(data);
        api->time_free(event);
        self->infoRecheckEvent = nullptr;
        if (self->ready) self->readServerInfo();
      },
      this);
}

void PulseMirror::Impl::markDirty() {
  // Published once the loop has dispatched what it read: a burst of events
  // gives one snapshot.
  if (synced) api->defer_enable(publishEvent, 1);
}

SnapshotRef PulseMirror::Impl::build(bool connected) {
  auto snapshot = std::make_shared<Snapshot>();
  if (connected) snapshot->state = state;
  snapshot->table = PropertyTable::build(snapshot->state, ids, options.processes);
  snapshot->connected = connected;
  return snapshot;
}

void PulseMirror::Impl::publish(bool force) {
  api->defer_enable(publishEvent, 0);
  if (!synced) return;
  SnapshotRef next = build(true);
  if (inGrace && !force) {
    // Held until the server is back to what it was, or the grace ends.
    for (AudioObjectID id : graceDevices)
      if (!next->table.device(id)) return;
    inGrace = false;
    if (graceEvent) api->time_free(graceEvent);
    graceEvent = nullptr;
  }
  hub.publish(std::move(next));
}

void PulseMirror::Impl::publishDisconnected() {
  hub.publish(build(false));
}

PulseMirror::PulseMirror(Options options)
    : impl_(std::make_unique<Impl>(std::move(options), hub_)) {}

PulseMirror::PulseMirror() : PulseMirror(Options{}) {}

PulseMirror::~PulseMirror() {
  stop();
}

void PulseMirror::start() {
  if (!impl_->loop) impl_->start();
}

void PulseMirror::stop() {
  impl_->stop();
}

bool PulseMirror::waitForSync(double seconds, double silence) {
  using Clock = std::chrono::steady_clock;
  const auto asked = Clock::now();
  const auto connected = [](const Snapshot& snapshot) { return snapshot.connected; };
  for (;;) {
    const double waited = std::chrono::duration<double>(Clock::now() - asked).count();
    const double limit = impl_->answered ? seconds : std::min(seconds, silence);
    if (waited >= limit) return connected(*hub_.snapshot());
    // Short turns, so an answer arriving meanwhile lengthens the wait.
    if (hub_.waitFor(connected, std::min(limit - waited, 0.02))) return true;
  }
}

std::uint64_t PulseMirror::connections() const {
  return impl_->connections;
}

pid_t PulseMirror::threadId() const {
  return impl_->threadId;
}

namespace {

// A per-channel volume as libpulse takes it; nothing valid when empty.
pa_cvolume toCvolume(const std::vector<std::uint32_t>& volume) {
  pa_cvolume cv;
  pa_cvolume_init(&cv);
  cv.channels = static_cast<std::uint8_t>(std::min<std::size_t>(volume.size(), PA_CHANNELS_MAX));
  for (unsigned c = 0; c < cv.channels; ++c)
    cv.values[c] = std::min<std::uint32_t>(volume[c], PA_VOLUME_MAX);
  return cv;
}

}  // namespace

void PulseMirror::setSinkVolume(const std::string& sink, std::vector<std::uint32_t> volume,
                                Done done) {
  impl_->write(
      [sink, volume](pa_context* context, pa_context_success_cb_t callback, void* data) {
        const pa_cvolume cv = toCvolume(volume);
        if (!pa_cvolume_valid(&cv)) return static_cast<pa_operation*>(nullptr);
        return pa_context_set_sink_volume_by_name(context, sink.c_str(), &cv, callback, data);
      },
      std::move(done));
}

void PulseMirror::setSinkMute(const std::string& sink, bool mute, Done done) {
  impl_->write(
      [sink, mute](pa_context* context, pa_context_success_cb_t callback, void* data) {
        return pa_context_set_sink_mute_by_name(context, sink.c_str(), mute, callback, data);
      },
      std::move(done));
}

void PulseMirror::setSourceVolume(const std::string& source, std::vector<std::uint32_t> volume,
                                  Done done) {
  impl_->write(
      [source, volume](pa_context* context, pa_context_success_cb_t callback, void* data) {
        const pa_cvolume cv = toCvolume(volume);
        if (!pa_cvolume_valid(&cv)) return static_cast<pa_operation*>(nullptr);
        return pa_context_set_source_volume_by_name(context, source.c_str(), &cv, callback, data);
      },
      std::move(done));
}

void PulseMirror::setSourceMute(const std::string& source, bool mute, Done done) {
  impl_->write(
      [source, mute](pa_context* context, pa_context_success_cb_t callback, void* data) {
        return pa_context_set_source_mute_by_name(context, source.c_str(), mute, callback, data);
      },
      std::move(done));
}

void PulseMirror::setDefaultSink(const std::string& sink, Done done) {
  impl_->write(
      [sink](pa_context* context, pa_context_success_cb_t callback, void* data) {
        return pa_context_set_default_sink(context, sink.c_str(), callback, data);
      },
      std::move(done));
}

void PulseMirror::onLoop(std::function<void(bool loopAlive, pa_context* ready)> work) {
  impl_->post([impl = impl_.get(), work = std::move(work)] {
    const bool alive = impl->running;
    work(alive, alive && impl->ready ? impl->context : nullptr);
  });
}

void PulseMirror::setDefaultSource(const std::string& source, Done done) {
  impl_->write(
      [source](pa_context* context, pa_context_success_cb_t callback, void* data) {
        return pa_context_set_default_source(context, source.c_str(), callback, data);
      },
      std::move(done));
}

}  // namespace tavuno
