#include "system/NotificationRequests.h"

namespace tavuno {

void NotificationRequests::request(bool enabled, AudioNotificationManaging& notifications,
                                   std::function<void(NotificationAnswer answer)> settle) {
  const std::uint64_t token = ++*latest_;
  if (!enabled) {
    settle(NotificationAnswer::switchedOff);
    return;
  }
  std::weak_ptr<std::uint64_t> latest = latest_;
  notifications.requestPermission([latest, token, settle = std::move(settle)](bool granted) {
    auto current = latest.lock();
    if (!current || *current != token) return;  // owner gone, or a newer request decides
    settle(granted ? NotificationAnswer::granted : NotificationAnswer::refused);
  });
}

}  // namespace tavuno
