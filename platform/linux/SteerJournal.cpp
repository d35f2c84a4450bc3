#include "platform/linux/SteerJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tavuno {

namespace {

class FileLock {
 public:
  explicit FileLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return true;
}

bool writeAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      ::unlink(temporary.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

SteerJournal::SteerJournal(std::string dir) : dir_(std::move(dir)), path_(dir_ + "/steered.json") {
  ::mkdir(dir_.c_str(), 0700);
}

std::string SteerJournal::defaultDir() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/tavuno";
  return "/tmp/tavuno-" + std::to_string(::getuid());
}

std::vector<SteerRecord> SteerJournal::load() const {
  std::string text;
  if (!readFile(path_, text)) return {};
  return decodeSteerRecords(text).records;
}

bool SteerJournal::add(const SteerRecord& record) {
  return update([&](std::vector<SteerRecord>& records) { records.push_back(record); });
}

bool SteerJournal::remove(const std::function<bool(const SteerRecord&)>& match) {
  return update([&](std::vector<SteerRecord>& records) { std::erase_if(records, match); });
}

bool SteerJournal::update(const std::function<void(std::vector<SteerRecord>&)>& change) {
  std::lock_guard<std::mutex> guard(mutex_);
  FileLock lock(dir_ + "/steered.lock");
  if (!lock.held()) return false;
  std::string text;
  std::vector<SteerRecord> records;
  if (readFile(path_, text)) {
    DecodedSteerRecords decoded = decodeSteerRecords(text);
    if (!decoded.ok && !text.empty()) {
      // Kept for a look, never silently lost; the records in it cannot be used anyway.
      if (::rename(path_.c_str(), (path_ + ".corrupt").c_str()) != 0) return false;
    }
    records = std::move(decoded.records);
  }
  const std::vector<SteerRecord> before = records;
  change(records);
  if (records == before) return true;
  return writeAtomically(path_, encodeSteerRecords(records));
}

}  // namespace tavuno
