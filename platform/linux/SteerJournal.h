#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/SteerRecord.h"

namespace tavuno {

// The steering records on disk: `<dir>/steered.json`, replaced atomically (temporary file,
// fsync, rename), each change made under an exclusive lock on `<dir>/steered.lock` so that
// two Tavuno processes never lose each other's records. A file that cannot be parsed is moved
// aside (`steered.json.corrupt`) before it is replaced.
//
// Any thread but the real-time one; calls block on the file system.
class SteerJournal {
 public:
  // `dir` is created when missing (mode 0700).
  explicit SteerJournal(std::string dir);

  // `$XDG_RUNTIME_DIR/tavuno`, else `/tmp/tavuno-<uid>`.
  static std::string defaultDir();

  // All records on disk now.
  std::vector<SteerRecord> load() const;
  // Adds a record; false when it could not be written (the caller must not steer then).
  bool add(const SteerRecord& record);
  // Removes the records `match` picks; false when the file could not be rewritten.
  bool remove(const std::function<bool(const SteerRecord&)>& match);
  // Reads, lets `change` rewrite the list, writes it back, all under the lock.
  bool update(const std::function<void(std::vector<SteerRecord>&)>& change);

  const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
  std::mutex mutex_;  // serialises this process's threads; the file lock serialises processes
};

}  // namespace tavuno
