#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavuno {

// The audio server's properties of one process's streams and clients, one map
// each ("application.id", "pipewire.access.portal.app_id", …).
using PropertyMaps = std::vector<std::map<std::string, std::string>>;

// What /proc tells about one process; empty texts when unreadable.
struct ProcessClues {
  std::string cgroup;       // the text of /proc/<pid>/cgroup
  std::string flatpakInfo;  // the text of /proc/<pid>/root/.flatpak-info
  std::string executable;   // where /proc/<pid>/exe points
};

// Which rule named the application.
enum class AppIdSource { sandbox, scope, declared, executable };

struct ResolvedAppId {
  std::string id;
  AppIdSource source;
  friend bool operator==(const ResolvedAppId&, const ResolvedAppId&) = default;
};

// Names the application a process belongs to, first rule that answers:
//  1. its sandbox: the Flatpak info's application, the client's portal app
//     id where the cgroup is that application's Flatpak scope, or a snap's
//     cgroup (`<snap>_<app>`);
//  2. its systemd user scope or service (`app-[<launcher>-]<id>-<random>.scope`,
//     `app-[<launcher>-]<id>[@…].service`), when `<id>.desktop` exists;
//  3. what its streams and clients declare (application.id, then the binary
//     and the icon name, also lower-cased), when that desktop file exists;
//  4. its executable's file name.
// `desktopExists` says whether a desktop id (without ".desktop") names an
// installed application. Nothing when no rule answers.
std::optional<ResolvedAppId> resolveAppId(
    const ProcessClues& clues, const PropertyMaps& properties,
    const std::function<bool(const std::string&)>& desktopExists);

// The application named by a .flatpak-info text ([Application] name=).
std::optional<std::string> flatpakAppName(std::string_view flatpakInfo);

// `text` with every byte that is not UTF-8 replaced by U+FFFD: ids and names
// end up in settings files and on screen, which take only UTF-8.
std::string validUtf8(std::string_view text);

}  // namespace tavuno
