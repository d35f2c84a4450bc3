#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Observers.h"
#include "system/LoginItemManaging.h"

namespace tavuno {

enum class LoginItemField { enabled, message };

// The switch "start at login". It shows what the system reports, not a
// stored preference: enabled() and message() are recomputed from the
// service's status on construction, on refresh() and after every change.
// Main thread only; `service` must outlive the controller.
class LoginItemController {
 public:
  explicit LoginItemController(LoginItemManaging& service);

  LoginItemController(const LoginItemController&) = delete;
  LoginItemController& operator=(const LoginItemController&) = delete;

  // On while registered, also while awaiting the user's approval.
  bool enabled() const { return enabled_; }
  // As stored: a status explanation is kept untranslated (its Portuguese
  // key), a failure is already in the current language.
  const std::optional<std::string>& message() const { return message_; }
  // message() in the current language, for display.
  std::optional<std::string> shownMessage() const;

  [[nodiscard]] Observers<LoginItemField>::Subscription observe(
      std::function<void(LoginItemField)> callback) {
    return observers_.subscribe(std::move(callback));
  }

  void refresh();
  // Registers or unregisters, then shows the status read afterwards; a
  // refused change replaces the message with the reason.
  void setEnabled(bool on);

 private:
  void publishMessage(std::optional<std::string> message, bool isKey);

  LoginItemManaging& service_;
  Observers<LoginItemField> observers_;
  bool enabled_ = false;
  std::optional<std::string> message_;
  bool messageIsKey_ = false;
};

}  // namespace tavuno
