#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/FollowerGate.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace tavuno {

// One libpulse connection on its own threaded main loop, with bounded waits for the fallback
// session's requests (the server answers on the loop thread; a worker waits for it). The
// sink-input events of the processes a session follows are passed on to it (follow).
class PulseConnection {
 public:
  // Connects (≤ 2 s) and subscribes to sink-input events. Null with `error` set on failure.
  static std::unique_ptr<PulseConnection> connect(std::string& error);
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_context* context() const { return context_; }
  pa_threaded_mainloop* loop() const { return loop_; }

  // Issues an operation with the loop locked and waits (≤ `seconds`) until it completes.
  // False when it could not be issued or did not complete in time.
  bool run(const std::function<pa_operation*()>& issue, double seconds = 2.0);
  // The same for several operations issued at once: one wait for the lot. False when one
  // could not be issued or did not complete in time.
  bool runAll(const std::vector<std::function<pa_operation*()>>& issues, double seconds = 2.0);
  // With the loop locked: waits until `done` holds or `seconds` pass.
  bool waitLocked(const std::function<bool()>& done, double seconds);
  void lock() const;
  void unlock() const;
  // Wakes whoever waits on the loop; from the loop thread's callbacks.
  void signal() const;
  bool connected() const;
  // The server's cookie (pa_server_info), drawn anew at each start of the server: the indexes it
  // hands out are of one run (a restarted PulseAudio counts from 0 again). 0 when it does not
  // answer. Not from the loop thread.
  std::uint32_t serverCookie();

  // Calls `changed` on the loop thread at each event of a sink-input of one of `pids` (it came,
  // changed or went); the others' events are let pass. A stream new to the connection is looked
  // up once for its process. Not from the loop thread.
  void follow(std::set<std::int32_t> pids, std::function<void()> changed);

  struct Callbacks;

 private:
  PulseConnection() = default;

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  // The loop thread's, set with the loop locked.
  std::optional<AppStreamFilter> filter_;
  std::function<void()> changed_;
};

}  // namespace tavuno
