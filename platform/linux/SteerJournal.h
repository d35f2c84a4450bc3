#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
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
// The folder must be Tavuno's user's alone: a real folder (not a link to one), owned by
// `owner` and writable by no one else. Any other is refused at every call (nothing is read,
// nothing written), since whoever can write there could make Tavuno's writes land elsewhere
// or feed it records. The files in it are opened relative to the folder and never through a
// symbolic link.
//
// Any thread but the real-time one; calls block on the file system.
class SteerJournal {
 public:
  // `dir` and the folders above it are created when missing (mode 0700).
  explicit SteerJournal(std::string dir, uid_t owner = ::geteuid());

  // Where the records live: `$XDG_RUNTIME_DIR/tavuno`, else the state folder
  // (`$XDG_STATE_HOME/tavuno`, else `~/.local/state/tavuno`), never a folder shared with other
  // users. Relative values are ignored, as the XDG base directories say. Empty when there is no
  // home to be found (the journal then refuses every record, so nothing is steered).
  static std::string defaultDir(const std::function<const char*(const char*)>& environment =
                                    [](const char* name) {
                                      return static_cast<const char*>(std::getenv(name));
                                    });

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
  // The folder opened for the calls relative to it; -1 when it is missing or refused.
  int openFolder() const;

  std::string dir_;
  std::string path_;
  uid_t owner_;
  std::mutex mutex_;  // serialises this process's threads; the file lock serialises processes
};

}  // namespace tavuno
