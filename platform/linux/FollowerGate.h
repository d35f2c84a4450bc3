#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace tavuno {

// When a session's follower takes its next turn, without a clock of its own: a turn is due once
// a change came (nudge) and `spacing` seconds have passed since the last turn ended, so a burst
// of changes is taken in one turn and the turns come at most once per `spacing`.
class TurnPacer {
 public:
  explicit TurnPacer(double spacing) : spacing_(spacing) {}

  void nudge() { pending_ = true; }
  // Seconds from `now` until the next turn is due (0: now); nothing when no change is pending.
  std::optional<double> dueIn(double now) const;
  // A turn begins: what was pending is in it.
  void begin() { pending_ = false; }
  // The turn ended at `now`: the next waits `spacing` from here.
  void end(double now) { earliest_ = now + spacing_; }

 private:
  double spacing_;
  bool pending_ = false;
  double earliest_ = 0.0;
};

// The follower thread's wait, fed by the server's events (already filtered to the
// application's streams), the application's volume and mute, and stop. A session's follower
// sleeps until one of those says something; nothing is polled.
class FollowerGate {
 public:
  static constexpr double kSpacing = 0.025;  // at most one reconcile per 25 ms

  explicit FollowerGate(double spacing = kSpacing) : pacer_(spacing) {}

  // Opens the gate with a turn due at once (the follower's first look), or closes it for good:
  // await() answers closed from then on, at once.
  void open();
  void close();
  // Something the follower must look at changed; from any thread, the server's included.
  void nudge();

  enum class Wake { turn, beat, closed };
  // Waits for a turn (the next one is begun), or `beat` seconds when above 0, or the close.
  Wake await(double beat);
  // The turn await() answered has ended.
  void ended();

 private:
  static double now();

  std::mutex mutex_;
  std::condition_variable changed_;
  TurnPacer pacer_;
  bool closed_ = false;
};

// Which changes of the server's streams are the application's: a stream counts while its
// process is one of the application's, and once more when it goes away or its process changes.
// PulseAudio's events name only a stream's index: its process is looked up once (knownPid) and
// kept. Not thread-safe: the server's loop thread alone feeds it.
class AppStreamFilter {
 public:
  explicit AppStreamFilter(std::set<std::int32_t> pids) : pids_(std::move(pids)) {}

  // The stream `id` changed, its process now `pid` (0: none said), or it went away (nothing):
  // whether the change is one of the application's streams.
  bool touched(std::uint32_t id, std::optional<std::int32_t> pid);
  // The process of a stream touched before and still there.
  std::optional<std::int32_t> knownPid(std::uint32_t id) const;

 private:
  bool ofApp(std::int32_t pid) const { return pid > 0 && pids_.count(pid) != 0; }

  std::set<std::int32_t> pids_;
  std::map<std::uint32_t, std::int32_t> seen_;
};

}  // namespace tavuno
