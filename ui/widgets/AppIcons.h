#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include <QIcon>

namespace tavuno::ui {

// Icons of applications by app id. The platform names the icon (a theme icon
// name, with or without its file's extension, or an absolute file, from the
// app's desktop file); else the theme icon named like the app id, as many
// applications name theirs; an app neither finds, or whose icon is missing,
// gets the generic application symbol. Looked up once per id. Where the
// platform gives no icon theme (offscreen, a bare X server), the freedesktop
// folders and the "hicolor" theme are searched. Main thread.
class AppIcons {
 public:
  using IconName = std::function<std::optional<std::string>(const std::string& appId)>;

  explicit AppIcons(IconName iconName = {});

  QIcon icon(const std::string& appId);

 private:
  QIcon named(const std::string& name) const;

  IconName iconName_;
  std::map<std::string, QIcon> cache_;
  QIcon generic_;
};

}  // namespace tavuno::ui
