#include "platform/sim/FakeAudioNotifications.h"

namespace tavuno {

void FakeAudioNotifications::requestPermission(std::function<void(bool granted)> completion) {
  ++requestCount_;
  if (autoAnswer) {
    deliver(std::move(completion), *autoAnswer);
  } else {
    pending_.push_back(std::move(completion));
  }
}

bool FakeAudioNotifications::answerOldest(bool granted) {
  if (pending_.empty()) return false;
  auto completion = std::move(pending_.front());
  pending_.pop_front();
  deliver(std::move(completion), granted);
  return true;
}

bool FakeAudioNotifications::answerNewest(bool granted) {
  if (pending_.empty()) return false;
  auto completion = std::move(pending_.back());
  pending_.pop_back();
  deliver(std::move(completion), granted);
  return true;
}

void FakeAudioNotifications::deliver(std::function<void(bool)> completion, bool granted) {
  main_.post([completion = std::move(completion), granted] { completion(granted); });
}

}  // namespace tavuno
