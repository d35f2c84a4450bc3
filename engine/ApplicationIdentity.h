#pragma once

#include <optional>
#include <string>

#include "engine/IdentityPort.h"

namespace tavuno {

struct AppIdentity {
  std::string id;
  std::string name;
  std::optional<std::string> bundleURL;
  friend bool operator==(const AppIdentity&, const AppIdentity&) = default;
};

// How an application is named, from a running application, a process id or
// an executable path: the bundle identifier of the outermost application
// bundle, else "pid:" and the process id.
namespace ApplicationIdentity {

// The outermost "*.app" folder on the path, or nothing.
std::optional<std::string> outermostAppURL(const std::string& path);
std::optional<AppIdentity> resolveExecutable(IdentityPort& platform, const std::string& path);
// Without a bundle URL in the result.
std::optional<AppIdentity> resolve(IdentityPort& platform, const RunningApplication& app);
std::optional<AppIdentity> resolveProcess(IdentityPort& platform, std::int32_t pid);

}  // namespace ApplicationIdentity

// Sorts by name, ignoring case and accents, as a person reading the list
// expects, in every script (Unicode's root collation).
bool nameOrderedBefore(const std::string& a, const std::string& b);

}  // namespace tavuno
