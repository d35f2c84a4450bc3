#include "platform/std/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/std/SettingsCodec.h"

namespace tavuno {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view temporaryMark = ".tmp-";
constexpr std::size_t temporaryRandomChars = 6;  // mkstemp's XXXXXX

std::string lastError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Makes a rename in `directory` durable.
void syncDirectory(const fs::path& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

fs::path SettingsFile::folder() const {
  return path_.parent_path().empty() ? fs::path(".") : path_.parent_path();
}

SettingsFile::Contents SettingsFile::read() const {
  using Kind = Contents::Kind;
  Contents contents;
  // Non-blocking, so that a pipe standing in the file's place cannot hang the start.
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    // ENOTDIR: a folder on the way is a file, so the settings file cannot exist.
    if (errno == ENOENT || errno == ENOTDIR) return contents;
    contents.kind = Kind::unreadable;
    contents.error = lastError("cannot open settings");
    return contents;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    contents.kind = Kind::unreadable;
    contents.error = "settings path is not a regular file";
    ::close(fd);
    return contents;
  }
  std::string text;
  char buffer[1 << 14];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      contents.kind = Kind::unreadable;
      contents.error = lastError("cannot read settings");
      ::close(fd);
      return contents;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (auto decoded = decodeSettings(text)) {
    contents.kind = Kind::settings;
    contents.values = std::move(*decoded);
  } else {
    contents.kind = Kind::damaged;
  }
  return contents;
}

std::optional<fs::path> SettingsFile::moveAside(std::string& error) const {
  const std::string stamp = ".corrupt-" + std::to_string(::time(nullptr));
  for (int n = 0; n < 1000; ++n) {
    fs::path candidate = path_;
    candidate += stamp + (n ? "-" + std::to_string(n) : "");
    // RENAME_NOREPLACE: an earlier copy under the same name is never replaced.
    int result =
        ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
      // A file system without RENAME_NOREPLACE: look first, then rename.
      std::error_code ignored;
      if (fs::exists(fs::symlink_status(candidate, ignored))) continue;
      result = ::rename(path_.c_str(), candidate.c_str());
    }
    if (result == 0) {
      syncDirectory(folder());
      return candidate;
    }
    if (errno != EEXIST) {
      error = lastError("cannot move the settings aside");
      return std::nullopt;
    }
  }
  error = "cannot move the settings aside: no free name";
  return std::nullopt;
}

std::string SettingsFile::replace(std::string_view text) const {
  const fs::path directory = folder();
  std::error_code ignored;
  fs::create_directories(directory, ignored);

  std::string temporary = path_.string();
  temporary += temporaryMark;
  temporary.append(temporaryRandomChars, 'X');
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return lastError("cannot create temporary file");
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), path_.c_str()) == 0) {
    syncDirectory(directory);
    return {};
  }
  if (!ok) errno = savedErrno;
  std::string error = lastError("cannot write settings");
  ::unlink(temporary.c_str());
  return error;
}

void SettingsFile::removeStaleTemporaries() const {
  const std::string prefix = path_.filename().string() + std::string(temporaryMark);
  std::error_code error;
  fs::directory_iterator it(folder(), error), end;
  for (; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + temporaryRandomChars || name.rfind(prefix, 0) != 0) continue;
    std::error_code ignored;
    if (it->symlink_status(ignored).type() == fs::file_type::regular)
      fs::remove(it->path(), ignored);
  }
}

}  // namespace tavuno
