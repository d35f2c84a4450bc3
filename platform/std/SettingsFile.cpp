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

fs::path folderOf(const fs::path& file) {
  return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

// Makes a rename in `directory` durable.
void syncDirectory(const fs::path& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

fs::path SettingsFile::target() const {
  // As many links as the kernel follows in one lookup.
  constexpr int mostLinks = 40;
  fs::path file = path_;
  for (int hop = 0; hop < mostLinks; ++hop) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    if (fs::is_symlink(status)) {
      fs::path next = fs::read_symlink(file, error);
      if (error) return path_;
      file = next.is_absolute() ? next : folderOf(file) / next;
      continue;
    }
    // Only a regular file, or none yet in a folder that is there, stands for the settings: a
    // link to /dev/null or to a folder is itself what is set aside or replaced, never what it
    // leads to.
    if (fs::is_regular_file(status)) return file;
    if (status.type() == fs::file_type::not_found && fs::is_directory(folderOf(file), error))
      return file;
    return path_;
  }
  return path_;
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
  if (static_cast<std::uintmax_t>(status.st_size) > largestFile) {
    contents.kind = Kind::damaged;
    ::close(fd);
    return contents;
  }
  std::string text;
  char buffer[1 << 14];
  // Bounded as it is read too: the file may grow after the fstat.
  while (text.size() <= largestFile) {
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
  if (text.size() > largestFile) {
    contents.kind = Kind::damaged;
    return contents;
  }
  if (auto decoded = decodeSettingsDocument(text)) {
    contents.kind = Kind::settings;
    contents.document = std::move(*decoded);
  } else {
    contents.kind = Kind::damaged;
  }
  return contents;
}

std::optional<fs::path> SettingsFile::moveAside(std::string& error) const {
  const fs::path file = target();
  const std::string stamp = ".corrupt-" + std::to_string(::time(nullptr));
  for (int n = 0; n < 1000; ++n) {
    fs::path candidate = file;
    candidate += stamp + (n ? "-" + std::to_string(n) : "");
    // RENAME_NOREPLACE: an earlier copy under the same name is never replaced.
    int result = ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
      // A file system without RENAME_NOREPLACE: look first, then rename.
      std::error_code ignored;
      if (fs::exists(fs::symlink_status(candidate, ignored))) continue;
      result = ::rename(file.c_str(), candidate.c_str());
    }
    if (result == 0) {
      syncDirectory(folderOf(file));
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
  // Through a link, the file it leads to is replaced, beside itself: a rename over the link
  // would put a plain file in its place.
  const fs::path file = target();
  const fs::path directory = folderOf(file);
  std::error_code ignored;
  fs::create_directories(directory, ignored);

  std::string temporary = file.string();
  temporary += temporaryMark;
  temporary.append(temporaryRandomChars, 'X');
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return lastError("cannot create temporary file");
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), file.c_str()) == 0) {
    syncDirectory(directory);
    return {};
  }
  if (!ok) errno = savedErrno;
  std::string error = lastError("cannot write settings");
  ::unlink(temporary.c_str());
  return error;
}

void SettingsFile::removeStaleTemporaries() const {
  const fs::path file = target();
  const std::string prefix = file.filename().string() + std::string(temporaryMark);
  std::error_code error;
  fs::directory_iterator it(folderOf(file), error), end;
  for (; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + temporaryRandomChars || name.rfind(prefix, 0) != 0) continue;
    std::error_code ignored;
    if (it->symlink_status(ignored).type() == fs::file_type::regular)
      fs::remove(it->path(), ignored);
  }
}

}  // namespace tavuno
