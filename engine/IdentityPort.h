#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavuno {

// A running application as the platform lists it.
struct RunningApplication {
  std::int32_t pid = 0;
  std::optional<std::string> bundlePath;  // the application bundle, when it has one
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
};

// What an opened application bundle tells about itself. A value that is not
// text on the platform is absent here.
struct BundleInfo {
  std::optional<std::string> identifier;
  std::optional<std::string> displayName;
  std::optional<std::string> name;
};

// Running applications, application bundles and process paths.
class IdentityPort {
 public:
  virtual ~IdentityPort() = default;
  virtual std::vector<RunningApplication> runningApplications() = 0;
  virtual std::optional<RunningApplication> runningApplication(std::int32_t pid) = 0;
  virtual std::optional<BundleInfo> openBundle(const std::string& path) = 0;
  // The executable of a process; nothing when it cannot be read.
  virtual std::optional<std::string> executablePath(std::int32_t pid) = 0;
  virtual std::int32_t ownPid() = 0;
};

}  // namespace tavuno
