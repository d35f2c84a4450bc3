#include "platform/linux/PulseConnection.h"

#include <algorithm>

#include <pulse/pulseaudio.h>

#include <unistd.h>

#include <chrono>

#include "base/text/Integer.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

// A process id the server reports; 0 when absent or not one.
std::int32_t toPid(const char* text) {
  const auto pid = parseInteger<std::int32_t>(text);
  return pid && *pid > 0 ? *pid : 0;
}

}  // namespace

struct PulseConnection::Callbacks {
  static void state(pa_context*, void* data) { static_cast<PulseConnection*>(data)->signal(); }
  // The loop thread, with the loop locked.
  static void event(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                    void* data) {
    auto* self = static_cast<PulseConnection*>(data);
    if (!self->filter_) return;
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
      if (self->filter_->touched(index, std::nullopt)) self->changed_();
      return;
    }
    if (auto pid = self->filter_->knownPid(index)) {
      if (self->filter_->touched(index, *pid)) self->changed_();
      return;
    }
    // New to the connection: its process decides, once.
    if (pa_operation* op = pa_context_get_sink_input_info(context, index, learned, self))
      pa_operation_unref(op);
  }
  static void learned(pa_context*, const pa_sink_input_info* info, int eol, void* data) {
    auto* self = static_cast<PulseConnection*>(data);
    if (eol || !info || !self->filter_) return;
    const std::int32_t pid =
        toPid(pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID));
    if (self->filter_->touched(info->index, pid)) self->changed_();
  }
};

std::unique_ptr<PulseConnection> PulseConnection::connect(std::string& error) {
  std::unique_ptr<PulseConnection> c(new PulseConnection());
  c->loop_ = pa_threaded_mainloop_new();
  if (!c->loop_) {
    error = "pa_threaded_mainloop_new";
    return nullptr;
  }
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tavuno");
  // The mark of Tavuno's own streams, with the start time that proves it (RivalTavuno.h).
  pa_proplist_sets(props, serverkey::ownerPid, std::to_string(::getpid()).c_str());
  pa_proplist_sets(props, serverkey::ownerStart,
                   std::to_string(processStartTime(::getpid()).value_or(0)).c_str());
  c->context_ =
      pa_context_new_with_proplist(pa_threaded_mainloop_get_api(c->loop_), "Tavuno", props);
  pa_proplist_free(props);
  if (!c->context_ || pa_threaded_mainloop_start(c->loop_) < 0) {
    error = "pa_context_new";
    return nullptr;
  }
  c->lock();
  pa_context_set_state_callback(c->context_, Callbacks::state, c.get());
  bool ready = pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
               c->waitLocked(
                   [&] {
                     auto s = pa_context_get_state(c->context_);
                     return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
                   },
                   2.0) &&
               pa_context_get_state(c->context_) == PA_CONTEXT_READY;
  if (!ready) error = pa_strerror(pa_context_errno(c->context_));
  c->unlock();
  if (!ready) return nullptr;
  pa_context_set_subscribe_callback(c->context_, Callbacks::event, c.get());
  if (!c->run([&] {
        return pa_context_subscribe(c->context_, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr);
      })) {
    error = "pa_context_subscribe";
    return nullptr;
  }
  return c;
}

PulseConnection::~PulseConnection() {
  if (context_) {
    lock();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    unlock();
  }
  if (loop_) {
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
  }
}

void PulseConnection::lock() const {
  pa_threaded_mainloop_lock(loop_);
}

void PulseConnection::unlock() const {
  pa_threaded_mainloop_unlock(loop_);
}

void PulseConnection::signal() const {
  pa_threaded_mainloop_signal(loop_, 0);
}

bool PulseConnection::connected() const {
  lock();
  const bool ok = pa_context_get_state(context_) == PA_CONTEXT_READY;
  unlock();
  return ok;
}

std::uint32_t PulseConnection::serverCookie() {
  std::uint32_t cookie = 0;
  run([&] {
    return pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
          if (info) *static_cast<std::uint32_t*>(data) = info->cookie;
        },
        &cookie);
  });
  return cookie;
}

bool PulseConnection::waitLocked(const std::function<bool()>& done, double seconds) {
  if (done()) return true;
  // The loop's wait has no deadline: a timer on the loop wakes it instead.
  struct Alarm {
    pa_threaded_mainloop* loop;
    bool expired = false;
  } alarm{loop_};
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + static_cast<pa_usec_t>(seconds * 1e6),
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
        auto* a = static_cast<Alarm*>(data);
        a->expired = true;
        pa_threaded_mainloop_signal(a->loop, 0);
      },
      &alarm);
  while (!done() && !alarm.expired)
    pa_threaded_mainloop_wait(loop_);
  if (timer) api->time_free(timer);
  return done();
}

bool PulseConnection::run(const std::function<pa_operation*()>& issue, double seconds) {
  lock();
  pa_operation* op = issue();
  bool ok = false;
  if (op) {
    pa_operation_set_state_callback(
        op,
        [](pa_operation*, void* loop) {
          pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        },
        loop_);
    ok = waitLocked([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, seconds) &&
         pa_operation_get_state(op) == PA_OPERATION_DONE;
    if (!ok) pa_operation_cancel(op);
    pa_operation_unref(op);
  }
  unlock();
  return ok;
}

bool PulseConnection::runAll(const std::vector<std::function<pa_operation*()>>& issues,
                             double seconds) {
  lock();
  std::vector<pa_operation*> ops;
  bool ok = true;
  for (const auto& issue : issues) {
    pa_operation* op = issue();
    if (!op) {
      ok = false;
      continue;
    }
    pa_operation_set_state_callback(
        op,
        [](pa_operation*, void* loop) {
          pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        },
        loop_);
    ops.push_back(op);
  }
  const bool finished = waitLocked(
      [&] {
        return std::none_of(ops.begin(), ops.end(), [](pa_operation* op) {
          return pa_operation_get_state(op) == PA_OPERATION_RUNNING;
        });
      },
      seconds);
  for (pa_operation* op : ops) {
    if (pa_operation_get_state(op) != PA_OPERATION_DONE) {
      ok = false;
      pa_operation_cancel(op);
    }
    pa_operation_unref(op);
  }
  unlock();
  return ok && finished;
}

void PulseConnection::follow(std::set<std::int32_t> pids, std::function<void()> changed) {
  lock();
  filter_.emplace(std::move(pids));
  changed_ = std::move(changed);
  // Every stream there is now, so that one of the application's that goes without having
  // changed is known as one.
  if (pa_operation* op = pa_context_get_sink_input_info_list(context_, Callbacks::learned, this))
    pa_operation_unref(op);
  unlock();
}

}  // namespace tavuno
