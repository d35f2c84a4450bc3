#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "base/ports/MainQueue.h"

namespace tavuno {

// How one service's workers reach the main thread. The service closes it when
// it goes; from then on no worker touches the main queue again, so a worker
// that outlives the service (blocked in the audio server while the program
// quits) never reaches a queue that may be gone too. Shared by the service
// and its workers.
class MainHop : public std::enable_shared_from_this<MainHop> {
 public:
  explicit MainHop(MainQueue& main) : main_(&main) {}
  MainHop(const MainHop&) = delete;
  MainHop& operator=(const MainHop&) = delete;

  // On a worker: runs `work` on the main thread and returns when it has
  // finished. Returns without running it once the hop or the main queue is
  // closed, also when it was already waiting.
  void sync(const std::function<void()>& work);
  // From any thread: runs `work` on the main thread later, unless the hop is
  // closed by then.
  void post(std::function<void()> work);
  // The main queue's uptime; once closed, the last one it gave.
  double uptime() const;

  // On the main thread, when the service goes; afterwards no worker is or
  // will be inside the main queue through this hop. Never waits on a blocked
  // worker. A worker still waiting in sync() (the program did not close the
  // main queue first) can be let go without a wait only by closing the main
  // queue, so then this closes it: the service going means the program is
  // quitting. Leaving that worker waiting instead would have it wake later
  // inside a queue that may be freed by then.
  void close();
  bool isClosed() const;

 private:
  // A worker inside main_->sync().
  struct Caller {
    std::thread::id thread;
    bool served = false;  // its work runs now, on the main thread
  };
  // Whether a caller could still leave on its own; a caller on this thread,
  // or whose work this thread is running, waits for this thread instead.
  bool othersInside() const;

  mutable std::mutex mutex_;
  std::condition_variable left_;
  MainQueue* main_;  // null once closed
  mutable double lastUptime_ = 0;
  std::map<std::uint64_t, Caller> callers_;
  std::uint64_t nextCaller_ = 0;
};

}  // namespace tavuno
