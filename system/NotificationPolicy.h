#pragma once

#include <optional>
#include <set>
#include <string>

namespace tavuno {

// Decides what to announce when the set of audio devices changes.
class NotificationPolicy {
 public:
  // The body of the notification for a change from `previous` to `current`
  // (device UIDs), in the current language; nothing when notifications are
  // off, when there is no previous observation (nullptr) or when the sets are
  // equal.
  static std::optional<std::string> message(bool enabled, const std::set<std::string>* previous,
                                            const std::set<std::string>& current);

  // The service error shown when the desktop refuses notifications.
  static std::string refusedMessage();
};

}  // namespace tavuno
