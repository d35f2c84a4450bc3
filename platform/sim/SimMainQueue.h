#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "base/ports/MainQueue.h"

namespace tavuno {

// The main queue on virtual time. Nothing runs until the test calls
// runPending() or advance(); due work runs in due order, ties in the order it
// was scheduled, including work scheduled while advancing. Single-threaded.
// sync() from outside main work (a test draining a worker queue) first runs
// what is already due, as a first-in first-out main queue would, then the
// work; from inside main work it runs inline. After close() nothing runs.
class SimMainQueue : public MainQueue {
 public:
  void post(std::function<void()> work) override;
  WorkItemRef postAfter(double seconds, std::function<void()> work) override;
  WorkItemRef repeatEvery(double seconds, std::function<void()> tick) override;
  double uptime() const override { return now_; }
  void sync(std::function<void()> work) override;
  void close() override;
  bool closed() const override { return closed_; }
  // Virtual time: `whileAwaiting` stands for the worker threads (a test runs
  // their queues there, as far as the time now allows); it is called, then
  // time moves on by `awaitStep`, until `done` opens or `seconds` have
  // passed. Nothing scheduled runs meanwhile.
  bool await(const Latch& done, double seconds) override;
  std::function<void()> whileAwaiting;
  static constexpr double awaitStep = 0.01;

  // Moves virtual time forward by `seconds`, running everything that falls due.
  void advance(double seconds);
  // Runs everything due now (posted work included).
  void runPending() { advance(0); }
  // Items scheduled and not cancelled.
  std::size_t scheduledCount() const;

 private:
  struct Entry {
    WorkItemRef item;
    std::function<void()> work;
    double interval = 0;  // > 0 for a repeating timer
  };
  using Key = std::pair<double, std::uint64_t>;

  void schedule(double due, Entry entry);

  double now_ = 0;
  int depth_ = 0;  // > 0 while main work runs
  bool closed_ = false;
  std::uint64_t sequence_ = 0;
  std::map<Key, Entry> entries_;
};

}  // namespace tavuno
