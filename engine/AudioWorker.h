#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "base/ports/MainQueue.h"
#include "base/ports/SerialQueue.h"
#include "engine/MainHop.h"
#include "engine/sessions/ManagedAudioSession.h"

namespace tavuno {

using SessionRef = std::shared_ptr<ManagedAudioSession>;
// What building a session gave: the running session, or why it failed.
using SessionResult = std::variant<SessionRef, SessionFailure>;

// One application's serial queue for building and stopping its sessions, so
// the stop of an old session always runs before the build of the next and
// the main thread never waits on the audio hardware. It reaches the main
// thread only through its service's hop: once the hop is closed, a start
// still queued never begins and a session built meanwhile is discarded.
class AudioWorker {
 public:
  struct Job {
    std::function<SessionResult()> work;            // on the worker
    std::function<bool()> shouldStart;              // on the main thread
    std::function<void(SessionRef)> discard;        // on the worker
    std::optional<double> timeout;                  // seconds
    std::function<void()> onTimeout;                // on the main thread
    std::function<bool(SessionResult)> completion;  // main thread; answers accepted
  };

  // Labels its queue "com.tavuno.audio.lifecycle." and a new UUID.
  AudioWorker(MainQueue& main, std::shared_ptr<MainHop> hop, SerialQueueFactory& queues);
  // Never waits: work in progress (perhaps blocked in the audio server) and
  // what is queued behind it finish on the worker's own thread.
  ~AudioWorker();
  AudioWorker(const AudioWorker&) = delete;
  AudioWorker& operator=(const AudioWorker&) = delete;

  void run(Job job);
  // Runs `block` on the worker, after everything queued before it.
  void dispose(std::function<void()> block);

  const std::string& label() const { return queue_->label(); }

 private:
  MainQueue& main_;  // on the main thread only
  std::shared_ptr<MainHop> hop_;
  std::shared_ptr<SerialQueue> queue_;
};

}  // namespace tavuno
