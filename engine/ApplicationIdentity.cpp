#include "engine/ApplicationIdentity.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <limits>

namespace tavuno {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Display name, else name, else the folder's name without its extension.
std::string bundleName(const BundleInfo& info, const std::string& bundlePath) {
  if (info.displayName) return *info.displayName;
  if (info.name) return *info.name;
  return fs::path(bundlePath).stem().string();
}

}  // namespace

std::optional<std::string> ApplicationIdentity::outermostAppURL(const std::string& path) {
  fs::path standard = fs::path(path).lexically_normal();
  if (!standard.is_absolute()) return std::nullopt;
  fs::path built = "/";
  for (const auto& component : standard.relative_path()) {
    if (component.empty()) continue;
    built /= component;
    if (lower(component.string()).ends_with(".app")) return built.string();
  }
  return std::nullopt;
}

std::optional<AppIdentity> ApplicationIdentity::resolveExecutable(IdentityPort& platform,
                                                                  const std::string& path) {
  auto bundle = outermostAppURL(path);
  if (!bundle) return std::nullopt;
  auto info = platform.openBundle(*bundle);
  if (!info || !info->identifier) return std::nullopt;
  return AppIdentity{*info->identifier, bundleName(*info, *bundle), bundle};
}

std::optional<AppIdentity> ApplicationIdentity::resolve(IdentityPort& platform,
                                                        const RunningApplication& app) {
  if (app.bundlePath) {
    if (auto bundle = outermostAppURL(*app.bundlePath)) {
      auto info = platform.openBundle(*bundle);
      if (info && info->identifier)
        return AppIdentity{*info->identifier, bundleName(*info, *bundle), std::nullopt};
    }
  }
  if (!app.localizedName) return std::nullopt;
  std::string id = app.bundleIdentifier ? *app.bundleIdentifier : "pid:" + std::to_string(app.pid);
  return AppIdentity{id, *app.localizedName, std::nullopt};
}

std::optional<AppIdentity> ApplicationIdentity::resolveProcess(IdentityPort& platform,
                                                               std::int32_t pid) {
  if (auto app = platform.runningApplication(pid)) {
    if (auto identity = resolve(platform, *app)) {
      identity->bundleURL = app->bundlePath ? outermostAppURL(*app->bundlePath) : std::nullopt;
      return identity;
    }
  }
  auto executable = platform.executablePath(pid);
  if (!executable) return std::nullopt;
  return resolveExecutable(platform, *executable);
}

namespace {

// The root collation at primary strength: letters of every script in the order people read a
// list of names in, case and accents ignored. Made once for the process; ICU compares with one
// collator from any thread.
const UCollator* nameCollator() {
  static const UCollator* const collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* made = ucol_open("", &status);
    if (U_FAILURE(status)) {
      if (made) ucol_close(made);
      return static_cast<UCollator*>(nullptr);
    }
    ucol_setStrength(made, UCOL_PRIMARY);
    return made;
  }();
  return collator;
}

}  // namespace

bool nameOrderedBefore(const std::string& a, const std::string& b) {
  constexpr std::size_t most = std::numeric_limits<std::int32_t>::max();
  if (const UCollator* collator = nameCollator(); collator && a.size() < most && b.size() < most) {
    UErrorCode status = U_ZERO_ERROR;
    // Malformed bytes compare as U+FFFD.
    const UCollationResult order =
        ucol_strcollUTF8(collator, a.data(), static_cast<std::int32_t>(a.size()), b.data(),
                         static_cast<std::int32_t>(b.size()), &status);
    if (U_SUCCESS(status)) return order == UCOL_LESS;
  }
  return a < b;
}

}  // namespace tavuno
