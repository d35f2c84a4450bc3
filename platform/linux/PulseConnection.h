#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace tavuno {

// One libpulse connection on its own threaded main loop, with bounded waits for the fallback
// session's requests (the server answers on the loop thread; a worker waits for it). Sink-input
// events are counted so a follower can wait for the next one.
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

  // Sink-input events seen so far, and a wait for the next one (any thread but the loop's).
  std::uint64_t changes() const;
  bool waitForChange(std::uint64_t seen, double seconds) const;

  struct Callbacks;

 private:
  PulseConnection() = default;

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t changes_ = 0;
};

}  // namespace tavuno
