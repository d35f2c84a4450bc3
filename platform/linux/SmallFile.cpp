#include "platform/linux/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavuno {

std::optional<std::string> readSmallFile(int dirFd, const std::string& path, std::size_t limit,
                                         FinalLink link) {
  int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (link == FinalLink::refuse) flags |= O_NOFOLLOW;
  const int fd = ::openat(dirFd, path.c_str(), flags);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  bool failed = false;
  while (text.size() < limit) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (failed) return std::nullopt;
  return text;
}

}  // namespace tavuno
