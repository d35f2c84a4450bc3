#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace tavuno {

// The per-user lock that lets one Tavuno process control applications: an exclusive `flock`
// on `<dir>/control.lock` (dir: the folder of the steer journal, `$XDG_RUNTIME_DIR/tavuno`).
// Two services of one user on one server (the desktop app next to tavuno-headless) would
// otherwise steer the same streams back and forth; the one without the lock still shows the
// devices and their volume, and its per-application sessions refuse to start.
//
// Never waits: a lock another holder has is refused at once. The lock belongs to the open file
// description, so two ControlLocks on one folder exclude each other even in one process, as
// two processes would. Closing the file (the object's end, or the process's) releases it. Any
// thread.
class ControlLock {
 public:
  // Tries once to take the lock; the folder is created (0700) when missing.
  explicit ControlLock(std::string dir);
  ~ControlLock();
  ControlLock(const ControlLock&) = delete;
  ControlLock& operator=(const ControlLock&) = delete;

  bool held() const;
  // Tries again when not held (the holder may have quit since); whether it is held now.
  bool tryAcquire();

  // The one lock of this process on `dir`, shared by every holder of the result: several
  // compositions in one process (the desktop app started again, a test binary) are one Tavuno
  // and must not refuse each other.
  static std::shared_ptr<ControlLock> forProcess(const std::string& dir);

 private:
  std::string dir_;
  mutable std::mutex mutex_;
  int fd_ = -1;
};

}  // namespace tavuno
