#pragma once

#include <map>

#include "engine/IdentityPort.h"

namespace tavuno {

// Scripted applications, bundles and processes.
class SimIdentity : public IdentityPort {
 public:
  std::vector<RunningApplication> runningApplications() override { return running_; }
  std::optional<RunningApplication> runningApplication(std::int32_t pid) override;
  std::optional<BundleInfo> openBundle(const std::string& path) override;
  std::optional<std::string> executablePath(std::int32_t pid) override;
  std::int32_t ownPid() override { return ownPid_; }

  // A bundle at `path` (e.g. "/Applications/Player.app").
  void addBundle(const std::string& path, BundleInfo info) { bundles_[path] = std::move(info); }
  // A running application, listed in the order added.
  void addRunning(RunningApplication app) { running_.push_back(std::move(app)); }
  void removeRunning(std::int32_t pid);
  // A process known only by its executable path.
  void addProcess(std::int32_t pid, std::string executable) {
    executables_[pid] = std::move(executable);
  }
  void setOwnPid(std::int32_t pid) { ownPid_ = pid; }

 private:
  std::vector<RunningApplication> running_;
  std::map<std::string, BundleInfo> bundles_;
  std::map<std::int32_t, std::string> executables_;
  std::int32_t ownPid_ = 1;
};

}  // namespace tavuno
