#include "platform/linux/DesktopIndex.h"

#include <glib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/linux/ProcFs.h"

namespace tavuno {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t folderChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
// A desktop file is a few kilobytes; anything past this is not one.
constexpr std::size_t largestFile = 1 << 20;
constexpr const char* group = "Desktop Entry";

using KeyFile = std::unique_ptr<GKeyFile, void (*)(GKeyFile*)>;

std::string takeString(gchar* value) {
  std::unique_ptr<gchar, void (*)(gpointer)> owned(value, g_free);
  return owned ? std::string(owned.get()) : std::string();
}

std::optional<DesktopApp> parse(const std::string& path) {
  auto text = procfs::readFile(path, largestFile + 1);
  if (!text || text->size() > largestFile) return std::nullopt;
  KeyFile file(g_key_file_new(), g_key_file_free);
  // Translations are kept: without the flag only the process locale's survive.
  if (!g_key_file_load_from_data(file.get(), text->data(), text->size(),
                                 G_KEY_FILE_KEEP_TRANSLATIONS, nullptr) ||
      !g_key_file_has_group(file.get(), group))
    return std::nullopt;
  if (takeString(g_key_file_get_string(file.get(), group, "Type", nullptr)) != "Application")
    return std::nullopt;
  if (g_key_file_get_boolean(file.get(), group, "Hidden", nullptr)) return std::nullopt;
  DesktopApp app;
  app.path = path;
  // Each locale falls back to its language, then to the untranslated name;
  // a value that is not UTF-8 is passed over.
  app.namePt =
      takeString(g_key_file_get_locale_string(file.get(), group, "Name", "pt_BR", nullptr));
  app.nameEn =
      takeString(g_key_file_get_locale_string(file.get(), group, "Name", "en_US", nullptr));
  app.icon = takeString(g_key_file_get_string(file.get(), group, "Icon", nullptr));
  app.noDisplay = g_key_file_get_boolean(file.get(), group, "NoDisplay", nullptr);
  return app;
}

std::string withoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/')
    dir.pop_back();
  return dir;
}

bool isDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

DesktopIndex::DesktopIndex(std::vector<std::string> dataDirs) : dataDirs_(std::move(dataDirs)) {
  rebuild();
}

DesktopIndex::~DesktopIndex() {
  if (inotify_ >= 0) ::close(inotify_);
}

std::vector<std::string> DesktopIndex::dataDirsFrom(const char* home, const char* dataHome,
                                                    const char* dataDirs) {
  std::vector<std::string> dirs;
  auto add = [&](std::string dir) {
    dir = withoutTrailingSlash(std::move(dir));
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(std::move(dir));
  };
  std::string user;
  if (dataHome && dataHome[0] == '/')
    user = withoutTrailingSlash(dataHome);
  else if (home && home[0] == '/')
    user = withoutTrailingSlash(home) + "/.local/share";
  if (!user.empty()) add(user);

  std::vector<std::string> system;
  std::string_view list = dataDirs ? dataDirs : "";
  while (!list.empty()) {
    const auto colon = std::min(list.find(':'), list.size());
    if (list.front() == '/') system.emplace_back(list.substr(0, colon));
    list.remove_prefix(std::min(colon + 1, list.size()));
  }
  if (system.empty()) system = {"/usr/local/share", "/usr/share"};
  for (auto& dir : system)
    add(std::move(dir));

  // A session started without Flatpak's profile script still sees its apps.
  if (!user.empty()) add(user + "/flatpak/exports/share");
  add("/var/lib/flatpak/exports/share");
  return dirs;
}

std::vector<std::string> DesktopIndex::dataDirsFromEnvironment() {
  return dataDirsFrom(std::getenv("HOME"), std::getenv("XDG_DATA_HOME"),
                      std::getenv("XDG_DATA_DIRS"));
}

bool DesktopIndex::refreshIfChanged() {
  // Without a watch (inotify refused), the folders are listed at every call.
  if (inotify_ < 0) {
    rebuild();
    return true;
  }
  alignas(inotify_event) char buffer[4096];
  bool changed = false;
  for (;;) {
    const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      // A data folder without "applications" matters only when it gains one.
      auto parent = parentWatches_.find(event->wd);
      if (parent == parentWatches_.end() ||
          (event->len > 0 && std::string_view(event->name) == "applications"))
        changed = true;
    }
  }
  if (changed) rebuild();
  return changed;
}

void DesktopIndex::watch() {
  if (inotify_ >= 0) ::close(inotify_);
  parentWatches_.clear();
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return;
  for (const auto& dir : dataDirs_) {
    const fs::path applications = fs::path(dir) / "applications";
    if (!isDirectory(applications)) {
      const int wd = ::inotify_add_watch(inotify_, dir.c_str(), IN_CREATE | IN_MOVED_TO);
      if (wd >= 0) parentWatches_[wd] = dir;
      continue;
    }
    ::inotify_add_watch(inotify_, applications.c_str(), folderChanges);
    std::error_code ec;
    for (fs::recursive_directory_iterator
             it(applications, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec))
        ::inotify_add_watch(inotify_, it->path().c_str(), folderChanges);
    }
  }
}

void DesktopIndex::rebuild() {
  // Watching starts before listing, so a change made meanwhile is seen at the
  // next call rather than lost.
  watch();
  paths_.clear();
  parsed_.clear();
  for (const auto& dir : dataDirs_) {
    const fs::path applications = fs::path(dir) / "applications";
    std::error_code ec;
    for (fs::recursive_directory_iterator
             it(applications, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
      const fs::path& path = it->path();
      if (path.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
      std::string id = path.lexically_relative(applications).replace_extension().generic_string();
      std::replace(id.begin(), id.end(), '/', '-');
      paths_.emplace(std::move(id), path.string());  // an earlier folder keeps its file
    }
  }
  ++generation_;
}

const DesktopApp* DesktopIndex::find(const std::string& id) {
  auto cached = parsed_.find(id);
  if (cached == parsed_.end()) {
    auto path = paths_.find(id);
    if (path == paths_.end()) return nullptr;
    cached = parsed_.emplace(id, parse(path->second)).first;
  }
  return cached->second ? &*cached->second : nullptr;
}

std::optional<std::string> DesktopIndex::name(const std::string& id, const std::string& language) {
  const DesktopApp* app = find(id);
  if (!app) return std::nullopt;
  const std::string& name = language == "pt" ? app->namePt : app->nameEn;
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<std::string> DesktopIndex::icon(const std::string& id) {
  const DesktopApp* app = find(id);
  if (!app || app->icon.empty()) return std::nullopt;
  return app->icon;
}

}  // namespace tavuno
