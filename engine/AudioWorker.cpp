#include "engine/AudioWorker.h"

#include "base/ports/Uuid.h"

namespace tavuno {

AudioWorker::AudioWorker(MainQueue& main, std::shared_ptr<MainHop> hop, SerialQueueFactory& queues)
    : main_(main),
      hop_(std::move(hop)),
      queue_(queues.makeQueue("com.tavuno.audio.lifecycle." + Uuid::random().text(),
                              QueuePriority::userInitiated)) {}

AudioWorker::~AudioWorker() {
  queue_->detach();
}

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
  // A hop that returns without running leaves `start` and `accepted` false.
  queue_->async([hop = hop_, finished, shared] {
    bool start = false;
    hop->sync([&] {
      start = shared->shouldStart();
      if (!start) *finished = true;
    });
    if (!start) return;
    SessionResult result = shared->work();
    bool accepted = false;
    hop->sync([&] {
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
