#include "platform/std/XdgAutostartLoginItem.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

namespace fs = std::filesystem;

namespace {

// Larger files are not autostart entries; they are left alone unread.
constexpr std::size_t maximumEntrySize = 1 << 20;

SystemError posixError(int error, const char* key, const fs::path& path) {
  return SystemError{error, trf(key, path.string(), std::strerror(error))};
}

SystemError writeError(int error, const fs::path& path) {
  return posixError(error, textKey("falha ao gravar %@ (%@)."), path);
}

SystemError handWrittenError(const fs::path& entry) {
  return SystemError{
      EEXIST, trf("%@ foi criado à mão e não será alterado pelo Tavuno; edite-o ou remova-o.",
                  entry.string())};
}

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void syncDirectory(const fs::path& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Moves `from` to `to` unless `to` exists, so a file that appeared since it
// was checked is never replaced.
int renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: a hard link refuses an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

bool isExecutableFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// A program named without a folder is looked up in PATH, as the session does.
fs::path resolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const auto colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
    if (folder.empty()) continue;
    fs::path candidate = fs::path(folder) / program;
    if (isExecutableFile(candidate)) return candidate;
  }
  return {};
}

bool isActive(const DesktopEntry& entry) {
  return entry.boolean("Hidden") != true && entry.boolean("X-GNOME-Autostart-enabled") != false;
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path directory, fs::path executable)
    : directory_(std::move(directory)), executable_(std::move(executable)) {}

fs::path XdgAutostartLoginItem::defaultDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return fs::path(xdg) / "autostart";
  const char* home = std::getenv("HOME");
  if (home && *home) return fs::path(home) / ".config" / "autostart";
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir)
    return fs::path(found->pw_dir) / ".config" / "autostart";
  return {};
}

fs::path XdgAutostartLoginItem::currentExecutable() {
  std::error_code error;
  std::string path = fs::read_symlink("/proc/self/exe", error).string();
  if (error) return {};
  // A replaced executable is reported with this suffix; the path may hold
  // the new version, which the existence check then finds.
  constexpr std::string_view deleted = " (deleted)";
  if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
  return path;
}

std::optional<std::string> XdgAutostartLoginItem::entryText(const fs::path& executable) {
  auto exec = DesktopEntry::execValue(executable.string());
  if (!exec) return std::nullopt;
  return std::string(
             "# Written by Tavuno, which rewrites or removes it when start at login is\n"
             "# switched. Delete the X-Tavuno-Managed line to keep Tavuno from changing "
             "this file.\n"
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Tavuno\n"
             "Icon=com.tavuno.Tavuno\n"
             "Exec=") +
         *exec +
         // At login Tavuno waits in the tray instead of opening its window.
         " --background\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n" +
         managedKey + "=true\n";
}

XdgAutostartLoginItem::Existing XdgAutostartLoginItem::readExisting() const {
  Existing existing;
  if (directory_.empty()) return existing;
  const fs::path path = entryPath();
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    // ENOTDIR: a file stands where the folder should be, so no entry exists.
    if (errno != ENOENT && errno != ENOTDIR) existing = Existing{true, errno, std::nullopt};
    return existing;
  }
  existing.present = true;
  // Symbolic links are followed: linking a desktop file here is common.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    existing.readError = errno;
    return existing;
  }
  const int statError = ::fstat(fd, &info) == 0 ? 0 : errno;
  if (statError || !S_ISREG(info.st_mode)) {
    existing.readError = statError ? statError : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return existing;
  }
  std::string text;
  char chunk[4096];
  while (text.size() <= maximumEntrySize) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) existing.readError = errno;
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!existing.readError && text.size() <= maximumEntrySize)
    existing.entry = DesktopEntry::parse(text);
  return existing;
}

bool XdgAutostartLoginItem::ownExecutableUsable() const {
  return !executable_.empty() && isExecutableFile(executable_);
}

bool XdgAutostartLoginItem::startsTavuno(const DesktopEntry& entry) const {
  auto program = entry.program();
  if (!program) return false;
  const fs::path resolved = resolveProgram(*program);
  if (resolved.empty() || !isExecutableFile(resolved)) return false;
  const fs::path name = executable_.empty() ? fs::path("tavuno") : executable_.filename();
  std::error_code error;
  return resolved.filename() == name ||
         (!executable_.empty() && fs::equivalent(resolved, executable_, error));
}

LoginItemStatus XdgAutostartLoginItem::status() const {
  const Existing existing = readExisting();
  if (existing.entry && isActive(*existing.entry) && startsTavuno(*existing.entry))
    return LoginItemStatus::enabled;
  if (directory_.empty() || !ownExecutableUsable()) return LoginItemStatus::notFound;
  if (!existing.present) return LoginItemStatus::notRegistered;
  if (existing.readError || !existing.entry) return LoginItemStatus::notFound;
  if (!isActive(*existing.entry)) return LoginItemStatus::notRegistered;
  return LoginItemStatus::notFound;  // active, but its program is missing or not Tavuno
}

SystemResult XdgAutostartLoginItem::registerItem() {
  if (directory_.empty()) return writeError(ENOENT, "~/.config/autostart");
  if (!ownExecutableUsable())
    return SystemError{ENOENT, tr("o executável do Tavuno não foi encontrado.")};
  const Existing existing = readExisting();
  if (existing.readError)
    return posixError(existing.readError, textKey("falha ao ler %@ (%@)."), entryPath());
  bool managed = false;
  if (existing.present) {
    if (existing.entry && isActive(*existing.entry) && startsTavuno(*existing.entry))
      return SystemResult::success();
    managed = existing.entry && existing.entry->boolean(managedKey) == true;
    if (!managed) return handWrittenError(entryPath());
  }
  auto text = entryText(executable_);
  if (!text)
    return SystemError{
        EINVAL,
        tr("o caminho do executável do Tavuno não pode ser gravado numa entrada de início.")};
  return write(*text, managed);
}

SystemResult XdgAutostartLoginItem::unregister() {
  const Existing existing = readExisting();
  if (!existing.present) return SystemResult::success();
  if (existing.readError)
    return posixError(existing.readError, textKey("falha ao ler %@ (%@)."), entryPath());
  if (existing.entry && existing.entry->boolean(managedKey) == true) {
    if (::unlink(entryPath().c_str()) != 0 && errno != ENOENT) {
      const int error = errno;
      return posixError(error, textKey("falha ao remover %@ (%@)."), entryPath());
    }
    syncDirectory(directory_);
    return SystemResult::success();
  }
  if (existing.entry && isActive(*existing.entry) && startsTavuno(*existing.entry))
    return handWrittenError(entryPath());
  return SystemResult::success();  // a hand-written entry that does not start Tavuno
}

SystemResult XdgAutostartLoginItem::write(const std::string& text, bool replace) {
  std::error_code created;
  fs::create_directories(directory_, created);
  if (created) return writeError(created.value(), directory_);

  const fs::path target = entryPath();
  std::string temporary = (directory_ / ".tavuno.desktop.tmp-XXXXXX").string();
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return writeError(errno, directory_);
  bool ok = ::fchmod(fd, 0644) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok) {
    error = replace ? (::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno)
                    : renameNoReplace(temporary, target);
    ok = error == 0;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return writeError(error, target);
  }
  syncDirectory(directory_);
  return SystemResult::success();
}

}  // namespace tavuno
