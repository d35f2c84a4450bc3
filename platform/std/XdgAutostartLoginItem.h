#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/std/DesktopEntry.h"
#include "system/LoginItemManaging.h"

namespace tavuno {

// Start at login through a freedesktop autostart entry, `tavuno.desktop` in
// the user's autostart folder, which runs Tavuno with --background.
//
// Status: enabled while the entry is active (neither Hidden nor
// X-GNOME-Autostart-enabled=false) and its Exec names an existing executable
// that is Tavuno's (the same file as ours, or a file of the same name);
// otherwise notFound when our own executable cannot be found (no entry can be
// made) or when an active entry is there but its program is not; otherwise
// notRegistered (no entry, or a switched-off one).
//
// Ownership: the entries Tavuno writes carry the line X-Tavuno-Managed=true.
// Such an entry is rewritten whole when it has to change (switched off, or
// pointing at a program that is gone) and removed by unregister(). Any other
// file at that place was written by hand and is never changed or removed:
// registering succeeds without writing when it already starts Tavuno, and
// otherwise fails with an explanation naming the file; unregistering fails
// the same way while it would still start Tavuno.
//
// Writes are atomic: a temporary file beside the entry, fsync, rename.
class XdgAutostartLoginItem : public LoginItemManaging {
 public:
  static constexpr const char* entryFileName = "tavuno.desktop";
  static constexpr const char* managedKey = "X-Tavuno-Managed";

  // `directory` is the autostart folder (created when needed); `executable`
  // is this program, empty when it is unknown.
  XdgAutostartLoginItem(std::filesystem::path directory, std::filesystem::path executable);

  // `$XDG_CONFIG_HOME/autostart` (when absolute), else `~/.config/autostart`;
  // empty when there is no home folder either.
  static std::filesystem::path defaultDirectory();
  // This process's executable, empty when it cannot be found.
  static std::filesystem::path currentExecutable();
  // The entry written for `executable`; nothing when its path cannot be
  // written into an Exec line.
  static std::optional<std::string> entryText(const std::filesystem::path& executable);

  SystemResult registerItem() override;
  SystemResult unregister() override;
  LoginItemStatus status() const override;

  std::filesystem::path entryPath() const { return directory_ / entryFileName; }

 private:
  struct Existing {
    bool present = false;
    int readError = 0;                  // errno when present but unreadable
    std::optional<DesktopEntry> entry;  // nothing when not a desktop entry
  };

  Existing readExisting() const;
  bool ownExecutableUsable() const;
  bool startsTavuno(const DesktopEntry& entry) const;
  SystemResult write(const std::string& text, bool replace);

  std::filesystem::path directory_;
  std::filesystem::path executable_;
};

}  // namespace tavuno
