#pragma once

#include "system/SystemResult.h"

namespace tavuno {

// What the system reports about Tavuno's login item. Values above notFound
// can come from a system service and mean the same as notFound.
enum class LoginItemStatus : int {
  notRegistered = 0,
  enabled = 1,
  requiresApproval = 2,  // registered, waiting for the user to allow it
  notFound = 3,
};

// The system service that starts Tavuno when the user logs in.
class LoginItemManaging {
 public:
  virtual ~LoginItemManaging() = default;

  virtual SystemResult registerItem() = 0;
  virtual SystemResult unregister() = 0;
  virtual LoginItemStatus status() const = 0;
};

}  // namespace tavuno
