#include "engine/ApplicationIdentity.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

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

// Decodes one UTF-8 sequence; malformed bytes come back one at a time.
char32_t nextCodePoint(const std::string& text, std::size_t& i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + extra >= text.size()) {
    ++i;
    return c;
  }
  char32_t code = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    code = code << 6 | (next & 0x3F);
  }
  i += extra + 1;
  return code;
}

// Lower case without accents for the Latin letters names use most.
char32_t fold(char32_t c) {
  static const char latin1[] =
      "aaaaaaaceeeeiiiidnooooo*ouuuuyts"   // U+00C0..U+00DF
      "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // U+00E0..U+00FF
  if (c < 0x80) return static_cast<char32_t>(std::tolower(static_cast<int>(c)));
  if (c >= 0xC0 && c <= 0xFF) return static_cast<unsigned char>(latin1[c - 0xC0]);
  return c;
}

}  // namespace

bool nameOrderedBefore(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = fold(nextCodePoint(a, i)), y = fold(nextCodePoint(b, j));
    if (x != y) return x < y;
  }
  return i >= a.size() && j < b.size();
}

}  // namespace tavuno
