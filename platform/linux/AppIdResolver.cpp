#include "platform/linux/AppIdResolver.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

namespace tavuno {

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The last folder of the process's systemd cgroup: the unified hierarchy's
// line ("0::/…"), else the named systemd one of a legacy layout.
std::string_view cgroupLeaf(std::string_view cgroup) {
  std::string_view found;
  while (!cgroup.empty()) {
    const auto end = std::min(cgroup.find('\n'), cgroup.size());
    const std::string_view line = cgroup.substr(0, end);
    cgroup.remove_prefix(std::min(end + 1, cgroup.size()));
    const auto first = line.find(':');
    const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    if (line.starts_with("0::"))
      found = path;
    else if (controllers == "name=systemd" && found.empty())
      found = path;
  }
  const auto slash = found.rfind('/');
  return slash == std::string_view::npos ? found : found.substr(slash + 1);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// systemd's unit-name escaping: "\x2d" stands for '-'.
std::string unescapeUnit(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        hexValue(text[i + 2]) >= 0 && hexValue(text[i + 3]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3])));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool isUuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// "snap.<snap>.<app>-<uuid>.scope" or "snap.<snap>.<app>.service" →
// "<snap>_<app>", the snap's desktop id. Hooks ("snap.<snap>.hook.<name>…")
// are not applications.
std::optional<std::string> snapId(std::string_view leaf) {
  if (!leaf.starts_with("snap.")) return std::nullopt;
  leaf.remove_prefix(5);
  if (leaf.ends_with(".scope")) {
    leaf.remove_suffix(6);
    if (leaf.size() > 37 && isUuid(leaf.substr(leaf.size() - 36)))
      leaf.remove_suffix(37);
    else if (auto dash = leaf.rfind('-'); dash != std::string_view::npos)
      leaf = leaf.substr(0, dash);
  } else if (leaf.ends_with(".service")) {
    leaf.remove_suffix(8);
  } else {
    return std::nullopt;
  }
  const auto dot = leaf.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot + 1 == leaf.size()) return std::nullopt;
  const std::string_view app = leaf.substr(dot + 1);
  if (app.find('.') != std::string_view::npos) return std::nullopt;
  return std::string(leaf.substr(0, dot)) + "_" + std::string(app);
}

// The desktop ids a systemd user unit may name, most likely first.
std::vector<std::string> scopeCandidates(std::string_view leaf) {
  if (!leaf.starts_with("app-")) return {};
  leaf.remove_prefix(4);
  if (leaf.ends_with(".scope")) {
    leaf.remove_suffix(6);
    const auto dash = leaf.rfind('-');  // the random part
    if (dash == std::string_view::npos) return {};
    leaf = leaf.substr(0, dash);
  } else if (leaf.ends_with(".service")) {
    leaf.remove_suffix(8);
    leaf = leaf.substr(0, leaf.find('@'));
  } else {
    return {};
  }
  if (leaf.empty()) return {};
  std::vector<std::string> candidates;
  // The id's own dashes are escaped, so a dash left ends the launcher, which
  // has no dots ("gnome", "flatpak", "kde").
  const auto dash = leaf.find('-');
  if (dash != std::string_view::npos && dash > 0 &&
      leaf.substr(0, dash).find('.') == std::string_view::npos && dash + 1 < leaf.size())
    candidates.push_back(unescapeUnit(leaf.substr(dash + 1)));
  candidates.push_back(unescapeUnit(leaf));
  return candidates;
}

std::string fileName(std::string_view path) {
  constexpr std::string_view deleted = " (deleted)";  // the binary was replaced while running
  if (path.ends_with(deleted)) path.remove_suffix(deleted.size());
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<ResolvedAppId> resolveUnchecked(
    const ProcessClues& clues, const PropertyMaps& properties,
    const std::function<bool(const std::string&)>& desktopExists) {
  auto declared = [&](const char* key) -> const std::string* {
    for (const auto& map : properties) {
      auto it = map.find(key);
      if (it != map.end() && !it->second.empty()) return &it->second;
    }
    return nullptr;
  };

  // The sandbox's own file names its application. The portal's id is taken only where the
  // process's cgroup is that application's sandbox: a client of the pulse protocol sets the key
  // in its own properties as it likes, and would take over another application's row and rules.
  if (auto flatpak = flatpakAppName(clues.flatpakInfo))
    return ResolvedAppId{*flatpak, AppIdSource::sandbox};
  const std::string_view leaf = cgroupLeaf(clues.cgroup);
  if (auto portal = declared("pipewire.access.portal.app_id");
      portal && leaf.starts_with("app-flatpak-")) {
    const auto candidates = scopeCandidates(leaf);
    if (!candidates.empty() && candidates.front() == *portal)
      return ResolvedAppId{*portal, AppIdSource::sandbox};
  }
  if (auto snap = snapId(leaf)) return ResolvedAppId{*snap, AppIdSource::sandbox};

  for (const auto& candidate : scopeCandidates(leaf))
    if (desktopExists(candidate)) return ResolvedAppId{candidate, AppIdSource::scope};

  // Every stream and client is searched for each key before the next key.
  for (const char* key :
       {"application.id", "application.process.binary", "application.icon_name"}) {
    const bool alsoLower = std::string_view(key) != "application.id";
    for (const auto& map : properties) {
      auto it = map.find(key);
      if (it == map.end() || it->second.empty()) continue;
      if (desktopExists(it->second)) return ResolvedAppId{it->second, AppIdSource::declared};
      if (!alsoLower) continue;
      std::string lowered = lower(it->second);
      if (lowered != it->second && desktopExists(lowered))
        return ResolvedAppId{lowered, AppIdSource::declared};
    }
  }

  std::string executable = fileName(clues.executable);
  if (executable.empty()) return std::nullopt;
  return ResolvedAppId{executable, AppIdSource::executable};
}

}  // namespace

std::optional<std::string> flatpakAppName(std::string_view flatpakInfo) {
  if (flatpakInfo.empty()) return std::nullopt;
  std::unique_ptr<GKeyFile, void (*)(GKeyFile*)> file(g_key_file_new(), g_key_file_free);
  if (!g_key_file_load_from_data(file.get(), flatpakInfo.data(), flatpakInfo.size(),
                                 G_KEY_FILE_NONE, nullptr))
    return std::nullopt;
  std::unique_ptr<gchar, void (*)(gpointer)> name(
      g_key_file_get_string(file.get(), "Application", "name", nullptr), g_free);
  if (!name || !*name) return std::nullopt;
  return std::string(name.get());
}

std::string validUtf8(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return std::string(text);
  std::unique_ptr<gchar, void (*)(gpointer)> valid(
      g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())), g_free);
  return std::string(valid.get());
}

std::optional<ResolvedAppId> resolveAppId(
    const ProcessClues& clues, const PropertyMaps& properties,
    const std::function<bool(const std::string&)>& desktopExists) {
  auto found = resolveUnchecked(clues, properties, desktopExists);
  if (found) found->id = validUtf8(found->id);
  return found;
}

}  // namespace tavuno
