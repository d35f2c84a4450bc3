#include "platform/linux/SteerJournal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/linux/SmallFile.h"

namespace tavuno {

namespace {

constexpr const char* journalName = "steered.json";
constexpr const char* temporaryName = "steered.json.tmp";
constexpr const char* corruptName = "steered.json.corrupt";
constexpr const char* lockName = "steered.lock";
// A record is a few hundred bytes; a file past this is not a journal Tavuno wrote.
constexpr std::size_t largestJournal = 4 << 20;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Holds an exclusive lock on the lock file in `dir` while it lives (closing releases it).
class FileLock {
 public:
  explicit FileLock(int dir)
      : fd_(::openat(dir, lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600)) {
    struct stat info {};
    if (fd_.get() < 0 || ::fstat(fd_.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    while (!held_) {
      if (::flock(fd_.get(), LOCK_EX) == 0)
        held_ = true;
      else if (errno != EINTR)
        break;
    }
  }
  bool held() const { return held_; }

 private:
  Fd fd_;
  bool held_ = false;
};

std::optional<std::string> readJournal(int dir) {
  return readSmallFile(dir, journalName, largestJournal + 1, FinalLink::refuse);
}

bool writeAtomically(int dir, const std::string& text) {
  // A temporary file left by a crash is ours (the lock is held): it goes, and the new one is
  // created afresh, so nothing planted under its name is ever written through.
  if (::unlinkat(dir, temporaryName, 0) != 0 && errno != ENOENT) return false;
  const int fd =
      ::openat(dir, temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      ::unlinkat(dir, temporaryName, 0);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::renameat(dir, temporaryName, dir, journalName) != 0) {
    ::unlinkat(dir, temporaryName, 0);
    return false;
  }
  ::fsync(dir);
  return true;
}

// `path` and the folders above it, each made 0700 when missing.
void createFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    ::mkdir(path.substr(0, at).c_str(), 0700);
  ::mkdir(path.c_str(), 0700);
}

std::string absolute(const char* value) {
  return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string passwordHome() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
  return absolute(found->pw_dir);
}

}  // namespace

SteerJournal::SteerJournal(std::string dir, uid_t owner)
    : dir_(std::move(dir)), path_(dir_ + "/" + journalName), owner_(owner) {
  if (!dir_.empty()) createFolders(dir_);
}

std::string SteerJournal::defaultDir(const std::function<const char*(const char*)>& environment) {
  if (auto runtime = absolute(environment("XDG_RUNTIME_DIR")); !runtime.empty())
    return runtime + "/tavuno";
  if (auto state = absolute(environment("XDG_STATE_HOME")); !state.empty())
    return state + "/tavuno";
  std::string home = absolute(environment("HOME"));
  if (home.empty()) home = passwordHome();
  if (home.empty()) return {};
  return home + "/.local/state/tavuno";
}

int SteerJournal::openFolder() const {
  if (dir_.empty()) return -1;
  const int fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != owner_ ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::vector<SteerRecord> SteerJournal::load() const {
  Fd dir(openFolder());
  if (dir.get() < 0) return {};
  auto text = readJournal(dir.get());
  if (!text) return {};
  return decodeSteerRecords(*text).records;
}

bool SteerJournal::add(const SteerRecord& record) {
  return update([&](std::vector<SteerRecord>& records) { records.push_back(record); });
}

bool SteerJournal::remove(const std::function<bool(const SteerRecord&)>& match) {
  return update([&](std::vector<SteerRecord>& records) { std::erase_if(records, match); });
}

bool SteerJournal::update(const std::function<void(std::vector<SteerRecord>&)>& change) {
  std::lock_guard<std::mutex> guard(mutex_);
  Fd dir(openFolder());
  if (dir.get() < 0) return false;
  FileLock lock(dir.get());
  if (!lock.held()) return false;
  std::vector<SteerRecord> records;
  if (auto text = readJournal(dir.get())) {
    DecodedSteerRecords decoded = decodeSteerRecords(*text);
    if (!decoded.ok && !text->empty()) {
      // Kept for a look, never silently lost; the records in it cannot be used anyway.
      if (::renameat(dir.get(), journalName, dir.get(), corruptName) != 0) return false;
    }
    records = std::move(decoded.records);
  }
  const std::vector<SteerRecord> before = records;
  change(records);
  if (records == before) return true;
  return writeAtomically(dir.get(), encodeSteerRecords(records));
}

}  // namespace tavuno
