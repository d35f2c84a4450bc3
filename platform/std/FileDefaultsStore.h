#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "base/ports/DefaultsStore.h"

namespace tavuno {

// Settings kept in one JSON file. Every change replaces the whole file
// atomically (temporary file in the same folder, flush, fsync, rename), so a
// crash leaves the old or the new file, never a torn one. A file that cannot be
// read as settings is renamed aside (never deleted) and the store starts empty.
// Thread-safe.
class FileDefaultsStore : public DefaultsStore {
 public:
  explicit FileDefaultsStore(std::filesystem::path file);

  // `$XDG_CONFIG_HOME/tavuno/settings.json`, else `~/.config/tavuno/settings.json`.
  static std::filesystem::path defaultLocation();

  std::optional<DefaultsValue> value(const std::string& key) const override;
  void set(const std::string& key, DefaultsValue value) override;
  void remove(const std::string& key) override;

  const std::filesystem::path& file() const { return file_; }
  // Where an unreadable file was moved at load; empty when none was.
  const std::filesystem::path& movedAside() const { return movedAside_; }
  // The last write failure, empty after a successful write. A failed write
  // keeps the values in memory and is retried by the next change.
  std::string lastWriteError() const;

 private:
  void load();
  void persistLocked();

  std::filesystem::path file_;
  std::filesystem::path movedAside_;
  mutable std::mutex mutex_;
  std::map<std::string, DefaultsValue> values_;
  std::string lastWriteError_;
};

}  // namespace tavuno
