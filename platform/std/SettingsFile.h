#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/ports/DefaultsStore.h"
#include "platform/std/SettingsCodec.h"

namespace tavuno {

// The settings file on disk: reading it, setting an unreadable one aside and
// replacing it atomically. Every call blocks on the disk; the object holds
// nothing but the path, so calls from several threads need the caller's lock.
//
// When the path is a symbolic link (a dotfile setup linking settings.json
// into a folder of its own), the file is where the link leads: it is set
// aside and replaced there, in its own folder, and the link stays.
class SettingsFile {
 public:
  // Settings are a few kilobytes; a file past this is set aside as damaged
  // rather than read into memory.
  static constexpr std::uintmax_t largestFile = 16u << 20;

  struct Contents {
    enum class Kind {
      absent,      // no file (nothing to keep)
      settings,    // read and decoded (perhaps with entries this version cannot read)
      unreadable,  // exists but cannot be read (a folder, an I/O error, ...)
      damaged,     // read, but not a settings document
    };
    Kind kind = Kind::absent;
    SettingsDocument document;
    std::string error;  // why it could not be read, for unreadable
  };

  explicit SettingsFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }

  Contents read() const;
  // Renames the file (or whatever stands in its place) to the first free
  // "<name>.corrupt-<unix time>[-n]" beside it, never over an existing file.
  // Nothing when the rename fails; `error` then says why.
  std::optional<std::filesystem::path> moveAside(std::string& error) const;
  // Replaces the file with `text`: a temporary file in the same folder is
  // written, flushed to disk and renamed over it, then the folder is synced,
  // so a crash or power loss leaves the old file or the new one, never a mix.
  // Empty on success, else what failed.
  std::string replace(std::string_view text) const;
  // Deletes the temporary files of replacements that a crash interrupted.
  void removeStaleTemporaries() const;

 private:
  // The file the path names: the path itself, or where its links lead when
  // that is a regular file or nothing yet in an existing folder. The path
  // itself for anything else (links in a loop, a link to a folder or device).
  std::filesystem::path target() const;

  std::filesystem::path path_;
};

}  // namespace tavuno
