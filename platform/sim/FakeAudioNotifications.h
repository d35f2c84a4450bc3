#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ports/MainQueue.h"
#include "system/AudioNotificationManaging.h"

namespace tavuno {

// A notification service in memory. Records every body posted and keeps
// permission requests pending until the test answers them (or answers at
// once when autoAnswer is set); answers arrive through the main queue.
class FakeAudioNotifications : public AudioNotificationManaging {
 public:
  explicit FakeAudioNotifications(MainQueue& main) : main_(main) {}

  void requestPermission(std::function<void(bool granted)> completion) override;
  void post(const std::string& body) override { posted_.push_back(body); }

  // When set, every request is answered with this value (still via the queue).
  std::optional<bool> autoAnswer;

  std::size_t pendingRequests() const { return pending_.size(); }
  int requestCount() const { return requestCount_; }
  // Answers the oldest pending request; false when none is pending.
  bool answerOldest(bool granted);
  // Answers the newest pending request first, as a slow system might.
  bool answerNewest(bool granted);

  const std::vector<std::string>& posted() const { return posted_; }
  void clearPosted() { posted_.clear(); }

 private:
  void deliver(std::function<void(bool)> completion, bool granted);

  MainQueue& main_;
  std::deque<std::function<void(bool)>> pending_;
  std::vector<std::string> posted_;
  int requestCount_ = 0;
};

}  // namespace tavuno
