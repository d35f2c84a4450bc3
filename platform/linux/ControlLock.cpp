#include "platform/linux/ControlLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace tavuno {

namespace {

// Opens `<dir>/control.lock` without following a link at either step, and only in a folder
// and as a regular file that belong to this user: a folder or file someone else planted there
// must neither refuse this Tavuno for good nor be written through.
int openLockFile(const std::string& dir) {
  ::mkdir(dir.c_str(), 0700);
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return -1;
  struct stat info {};
  if (::fstat(folder, &info) != 0 || info.st_uid != ::geteuid()) {
    ::close(folder);
    return -1;
  }
  const int fd = ::openat(folder, "control.lock",
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  ::close(folder);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

ControlLock::ControlLock(std::string dir) : dir_(std::move(dir)) {
  tryAcquire();
}

ControlLock::~ControlLock() {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

bool ControlLock::held() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return fd_ >= 0;
}

bool ControlLock::tryAcquire() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (fd_ >= 0) return true;
  const int fd = openLockFile(dir_);
  if (fd < 0) return false;
  int result;
  while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::shared_ptr<ControlLock> ControlLock::forProcess(const std::string& dir) {
  static std::mutex mutex;
  // Kept for the life of the process, as the compositions holding its locks are.
  static auto* locks = new std::map<std::string, std::weak_ptr<ControlLock>>;
  std::lock_guard<std::mutex> guard(mutex);
  std::weak_ptr<ControlLock>& slot = (*locks)[dir];
  if (auto lock = slot.lock()) return lock;
  auto lock = std::make_shared<ControlLock>(dir);
  slot = lock;
  return lock;
}

}  // namespace tavuno
