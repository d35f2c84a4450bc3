#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "system/AudioNotificationManaging.h"

namespace tavuno {

// How a request to switch notifications on or off ended.
enum class NotificationAnswer {
  switchedOff,  // the user switched them off: no permission was asked
  granted,
  refused,  // the desktop refused permission: the setting stays off
};

// The on/off switch of device notifications, safe against rapid toggling:
// every request makes the answers to all earlier ones stale, so only the
// answer to the latest request is applied, and switching off settles at once
// whatever is still pending. Main thread only.
//
// Keep it as a member of the object whose setting it decides: once it is
// destroyed, no pending answer calls `settle`, so `settle` may capture its
// owner directly.
class NotificationRequests {
 public:
  NotificationRequests() = default;
  NotificationRequests(const NotificationRequests&) = delete;
  NotificationRequests& operator=(const NotificationRequests&) = delete;

  // Off: settle(switchedOff) now, without asking anyone. On: asks
  // `notifications` for permission and calls settle(granted or refused) when
  // the answer comes, unless another request was made in between. The
  // setting to publish and store is `answer == NotificationAnswer::granted`.
  void request(bool enabled, AudioNotificationManaging& notifications,
               std::function<void(NotificationAnswer answer)> settle);

  // The token of the latest request (0 before the first).
  std::uint64_t latest() const { return *latest_; }

 private:
  // Shared with pending answers, which hold it weakly.
  std::shared_ptr<std::uint64_t> latest_ = std::make_shared<std::uint64_t>(0);
};

}  // namespace tavuno
