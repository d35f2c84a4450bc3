#include "platform/std/FileDefaultsStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/std/SettingsCodec.h"

namespace tavuno {

namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, const std::string& text) {
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

void syncDirectory(const fs::path& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A name beside `file` that no earlier move used.
fs::path asideName(const fs::path& file) {
  std::error_code ignored;
  for (int n = 0;; ++n) {
    fs::path candidate = file;
    candidate += ".corrupt-" + std::to_string(::time(nullptr)) + (n ? "-" + std::to_string(n) : "");
    if (!fs::exists(candidate, ignored)) return candidate;
  }
}

}  // namespace

FileDefaultsStore::FileDefaultsStore(fs::path file) : file_(std::move(file)) {
  load();
}

fs::path FileDefaultsStore::defaultLocation() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".config";
  }
  return base / "tavuno" / "settings.json";
}

void FileDefaultsStore::load() {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return;  // no file yet: empty settings
  std::ostringstream buffer;
  buffer << in.rdbuf();
  in.close();
  if (auto decoded = decodeSettings(buffer.str())) {
    values_ = std::move(*decoded);
    return;
  }
  fs::path aside = asideName(file_);
  std::error_code error;
  fs::rename(file_, aside, error);
  if (!error) movedAside_ = aside;
}

std::optional<DefaultsValue> FileDefaultsStore::value(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void FileDefaultsStore::set(const std::string& key, DefaultsValue value) {
  std::lock_guard lock(mutex_);
  values_[key] = std::move(value);
  persistLocked();
}

void FileDefaultsStore::remove(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) == 0) return;
  persistLocked();
}

std::string FileDefaultsStore::lastWriteError() const {
  std::lock_guard lock(mutex_);
  return lastWriteError_;
}

void FileDefaultsStore::persistLocked() {
  const fs::path directory = file_.parent_path().empty() ? fs::path(".") : file_.parent_path();
  std::error_code error;
  fs::create_directories(directory, error);

  std::string text = encodeSettings(values_);
  std::string pattern = (directory / (file_.filename().string() + ".tmp-XXXXXX")).string();
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    lastWriteError_ = std::string("cannot create temporary file: ") + std::strerror(errno);
    return;
  }
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(pattern.c_str(), file_.c_str()) == 0) {
    syncDirectory(directory);
    lastWriteError_.clear();
    return;
  }
  if (!ok) errno = savedErrno;
  lastWriteError_ = std::string("cannot write settings: ") + std::strerror(errno);
  ::unlink(pattern.c_str());
}

}  // namespace tavuno
