#pragma once

#include <functional>
#include <string>

namespace tavuno {

// The desktop's notification service. Every notification is titled
// notificationTitle and carries one body text.
class AudioNotificationManaging {
 public:
  static constexpr const char* notificationTitle = "Tavuno";

  virtual ~AudioNotificationManaging() = default;

  // Asks for permission to show alerts with sound. `completion` gets the
  // answer later, always on the main queue, never inside this call.
  virtual void requestPermission(std::function<void(bool granted)> completion) = 0;
  // Shows one notification now; each post is separate, nothing is replaced.
  // Delivery failures are not reported.
  virtual void post(const std::string& body) = 0;
};

}  // namespace tavuno
