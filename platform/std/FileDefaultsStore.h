#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/ports/DefaultsStore.h"
#include "base/ports/MainQueue.h"

namespace tavuno {

class ThreadMainQueue;

// Settings kept in one JSON file. Reads and writes are in memory and never
// wait for the disk; the file follows behind: a burst of changes (a slider
// drag) becomes one atomic replacement of the whole file (see SettingsFile)
// once no change came for `quietSeconds`, done on the store's writer thread.
// A burst that goes on longer than `longestSeconds` is written at least that
// often. flush() and destruction write what is pending at once.
//
// A file that exists but cannot be read or decoded is renamed aside (kept,
// never deleted) before anything is written, and the store starts empty. When
// it cannot be renamed, nothing is ever written over it: the store works in
// memory only and message() says so.
//
// A settings document this version reads only in part loses nothing: an
// entry whose kind it does not know or whose value does not fit its kind is
// not a value here (value() gives nothing) but is written back unchanged, as
// are top-level members it does not know; a set() of such an entry's key
// first moves the entry to the first free "<key>.corruptBackup[.N]". A file of
// a newer version (SettingsDocument::newerVersion) is read the same way and
// never written over: the store works in memory only and message() says so.
//
// A file an earlier version wrote, with its lists of records as base64 (see
// SettingsCodec.h), is read whole and rewritten in this version's form on the
// writer shortly after the load, as after a change, unless it is not writable.
//
// Thread-safe: any thread may read, change or flush.
class FileDefaultsStore : public DefaultsStore {
 public:
  static constexpr double quietSeconds = 0.2;
  static constexpr double longestSeconds = 2.0;

  // Writes on a thread of its own.
  explicit FileDefaultsStore(std::filesystem::path file);
  // Writes as delayed work on `writer` (virtual time in the tests), which must
  // outlive the store.
  FileDefaultsStore(std::filesystem::path file, MainQueue& writer);
  // Writes what is pending, on the calling thread.
  ~FileDefaultsStore() override;

  FileDefaultsStore(const FileDefaultsStore&) = delete;
  FileDefaultsStore& operator=(const FileDefaultsStore&) = delete;

  // `$XDG_CONFIG_HOME/tavuno/settings.json`, else `~/.config/tavuno/settings.json`.
  static std::filesystem::path defaultLocation();

  std::optional<DefaultsValue> value(const std::string& key) const override;
  void set(const std::string& key, DefaultsValue value) override;
  void remove(const std::string& key) override;

  // Writes pending changes now, on the calling thread (at quit). True when
  // the file then holds every value.
  bool flush();
  // Changes not in the file yet.
  bool pending() const;

  const std::filesystem::path& file() const { return file_; }
  // Where an unreadable file was moved at load; empty when none was.
  std::filesystem::path movedAside() const;
  // False when an unreadable file could not be moved aside, or the file is of
  // a newer version: it is kept as it is and the values live in memory only.
  bool writable() const;
  // The file is of a newer version of Tavuno (and so never written over).
  bool newerVersion() const;
  // Entries of the file that this version could not read at load and keeps
  // in the file as they are.
  std::size_t keptUnreadable() const;
  // The last write failure, empty after a successful write. A failed write
  // keeps the values in memory; the next change or flush() tries again.
  std::string lastWriteError() const;
  // What the user should know about the settings file, in the current
  // language; empty when all is well.
  std::string message() const;
  // File replacements made so far.
  std::uint64_t replacements() const;

 private:
  struct State;

  FileDefaultsStore(std::filesystem::path file, std::unique_ptr<ThreadMainQueue> ownWriter,
                    MainQueue* writer);
  void changed(std::unique_lock<std::mutex>& lock);
  // Runs on the writer once a burst may be over: writes when no change came
  // since the previous tick (or the burst has gone on too long), else looks
  // again after another quiet interval.
  static void tick(const std::weak_ptr<State>& weak, MainQueue* writer);

  std::filesystem::path file_;
  std::unique_ptr<ThreadMainQueue> ownWriter_;
  std::thread ownThread_;
  MainQueue& writer_;
  std::shared_ptr<State> state_;
};

}  // namespace tavuno
