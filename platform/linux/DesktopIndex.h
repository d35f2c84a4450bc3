#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavuno {

// What Tavuno reads of one installed application's desktop file.
struct DesktopApp {
  std::string path;
  std::string namePt;      // Name[pt_BR], Name[pt], Name; empty when none is text
  std::string nameEn;      // Name[en_US], Name[en], Name
  std::string icon;        // Icon=, a theme icon name or an absolute path
  bool noDisplay = false;  // installed, but not for menus (helpers, handlers)
};

// Desktop id → desktop file over `<data dir>/applications` of each data
// folder, earlier folders shadowing later ones, as the freedesktop rules say:
// a file in a subfolder gets the id "<subfolder>-<name>", a Hidden entry
// removes its id, only Type=Application counts. Ids here leave out
// ".desktop" ("org.example.Player").
//
// Main thread only. The folders are listed once and watched with inotify;
// `refreshIfChanged` (one non-blocking read when nothing changed) lists them
// again after a change. Files are parsed when first looked up.
class DesktopIndex {
 public:
  explicit DesktopIndex(std::vector<std::string> dataDirs);
  ~DesktopIndex();
  DesktopIndex(const DesktopIndex&) = delete;
  DesktopIndex& operator=(const DesktopIndex&) = delete;

  // $XDG_DATA_HOME (else ~/.local/share), then $XDG_DATA_DIRS (else
  // /usr/local/share:/usr/share), then the Flatpak export folders when the
  // list lacks them. Relative entries are ignored, as the rules ask.
  static std::vector<std::string> dataDirsFrom(const char* home, const char* dataHome,
                                               const char* dataDirs);
  static std::vector<std::string> dataDirsFromEnvironment();

  // Lists the folders again when one changed since the last call; true then.
  bool refreshIfChanged();

  // The application of a desktop id; nothing when none is installed.
  const DesktopApp* find(const std::string& id);
  // The display name in `language` ("pt" or "en"); nothing when the file has
  // none.
  std::optional<std::string> name(const std::string& id, const std::string& language);
  std::optional<std::string> icon(const std::string& id);
  // Grows by one at every listing.
  std::uint64_t generation() const { return generation_; }

 private:
  void rebuild();
  void watch();

  std::vector<std::string> dataDirs_;
  std::unordered_map<std::string, std::string> paths_;  // id → file, after shadowing
  std::unordered_map<std::string, std::optional<DesktopApp>> parsed_;
  int inotify_ = -1;
  std::map<int, std::string> parentWatches_;  // watch → folder whose "applications" is missing
  std::uint64_t generation_ = 0;
};

}  // namespace tavuno
