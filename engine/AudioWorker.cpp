#include "engine/AudioWorker.h"

#include "base/ports/Uuid.h"

namespace tavuno {

AudioWorker::AudioWorker(MainQueue& main, SerialQueueFactory& queues)
    : main_(main),
      queue_(queues.makeQueue("com.tavuno.audio.lifecycle." + Uuid::random().text(),
                              QueuePriority::userInitiated)) {}

void AudioWorker::run(Job job) {
  // Written on the main thread only (the timeout and the completion both run
  // there); shared so the timeout can outlive this call.
  auto finished = std::make_shared<bool>(false);
  auto shared = std::make_shared<Job>(std::move(job));
  if (shared->timeout) {
    main_.postAfter(*shared->timeout, [finished, shared] {
      if (!*finished && shared->onTimeout) shared->onTimeout();
    });
  }
  MainQueue& main = main_;
  queue_->async([&main, finished, shared] {
    bool start = false;
    main.sync([&] {
      start = shared->shouldStart();
      if (!start) *finished = true;
    });
    if (!start) return;
    SessionResult result = shared->work();
    bool accepted = false;
    main.sync([&] {
      *finished = true;
      accepted = shared->completion(result);
    });
    if (!accepted) {
      if (auto* session = std::get_if<SessionRef>(&result)) shared->discard(*session);
    }
  });
}

void AudioWorker::dispose(std::function<void()> block) {
  queue_->async(std::move(block));
}

}  // namespace tavuno
