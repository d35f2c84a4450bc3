#pragma once

#include <optional>

#include "system/LoginItemManaging.h"

namespace tavuno {

// A login-item service in memory. Registering moves the status to
// statusAfterRegister, unregistering to notRegistered, unless the test
// scripted a refusal; a refusal leaves the status as it is.
class FakeLoginItem : public LoginItemManaging {
 public:
  SystemResult registerItem() override;
  SystemResult unregister() override;
  LoginItemStatus status() const override { return status_; }

  void setStatus(LoginItemStatus status) { status_ = status; }
  LoginItemStatus statusAfterRegister = LoginItemStatus::enabled;
  // Every following register / unregister fails with this error until cleared.
  std::optional<SystemError> registerFailure;
  std::optional<SystemError> unregisterFailure;

  int registerCalls = 0;
  int unregisterCalls = 0;

 private:
  LoginItemStatus status_ = LoginItemStatus::notRegistered;
};

}  // namespace tavuno
