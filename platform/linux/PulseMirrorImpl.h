#pragma once

// The mirror's inner state, shared by PulseMirror.cpp (connection, writes,
// publication) and PulseMirrorEvents.cpp (listing, events and info replies).
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/ObjectIds.h"
#include "platform/linux/PulseMirror.h"

namespace tavuno {

inline constexpr double kMirrorFirstBackoff = 0.1;
inline constexpr double kMirrorLastBackoff = 2.0;
// How long after a device came or went the server's defaults are read once
// more. pipewire-pulse announces a new default only when the object it resolves
// to differs from the one it last announced, compared by address: a default that
// moves to a device made where the old one was freed goes unannounced, and the
// copy would keep the old name. The session manager picks the new default a
// moment after the device appears, so the read that comes with the device's
// event can be too early; this one is not, and an idle server still never wakes
// the mirror.
inline constexpr double kMirrorInfoRecheck = 1.0;

// Everything below runs on the mirror thread with the mainloop lock held,
// except the writer calls (any thread: they only queue work) and start/stop.
struct PulseMirror::Impl {
  // One request in flight, found again when its reply comes. Forgotten (and
  // a write's `done` told false) when the connection goes.
  struct Request {
    Impl* impl;
    int facility;
    std::uint32_t index;
    Done done;
  };
  using ObjectKey = std::pair<int, std::uint32_t>;

  Impl(PulseMirror::Options options, SnapshotHub& hub) : options(std::move(options)), hub(hub) {}

  PulseMirror::Options options;
  SnapshotHub& hub;
  pa_threaded_mainloop* loop = nullptr;
  pa_mainloop_api* api = nullptr;
  pa_context* context = nullptr;
  pa_context* deadContext = nullptr;  // unreferenced outside its own callbacks
  int wakeFd = -1;
  pa_io_event* wakeEvent = nullptr;
  pa_defer_event* publishEvent = nullptr;
  pa_time_event* reconnectEvent = nullptr;
  pa_time_event* graceEvent = nullptr;
  pa_time_event* infoRecheckEvent = nullptr;

  std::mutex queueMutex;
  std::vector<std::function<void()>> queue;  // work for the mirror thread
  bool accepting = false;                    // guarded by queueMutex, as is wakeFd
  std::atomic<bool> running{false};
  std::atomic<std::uint64_t> connections{0};
  std::atomic<bool> answered{false};  // a server has answered this mirror at least once
  std::atomic<pid_t> threadId{0};

  ServerState state;
  bool ready = false;
  bool synced = false;
  bool everSynced = false;
  bool inGrace = false;
  std::set<AudioObjectID> graceDevices;
  double backoff = kMirrorFirstBackoff;
  ObjectIds ids;
  std::map<Request*, std::unique_ptr<Request>> inflight;
  std::map<ObjectKey, int> pendingInfo;
  std::set<ObjectKey> tombstones;

  // Thread start and stop (caller's thread).
  void start();
  void stop();
  void post(std::function<void()> work);
  void write(std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)> issue,
             Done done);

  // Connection.
  void connect();
  void onState();
  void onReady();
  void lose();
  void scheduleReconnect();
  void forgetRequests();

  // Events and replies.
  void onEvent(pa_subscription_event_type_t type, std::uint32_t index);
  void requestInfo(int facility, std::uint32_t index);
  // Reads the server's defaults again; a new snapshot only when they changed.
  void readServerInfo();
  void scheduleInfoRecheck();  // one read, kMirrorInfoRecheck after the last call
  Request* track(int facility, std::uint32_t index, Done done = nullptr);
  bool finish(Request* request, int eol);  // whether the reply's data counts
  void markDirty();
  void publish(bool force);
  void publishDisconnected();
  SnapshotRef build(bool connected);

  static Impl* of(Request* request) { return request->impl; }
};

}  // namespace tavuno
