#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include <QIcon>

namespace tavuno::ui {

// Icons of applications by app id. The platform names the icon (a theme icon
// name or an absolute file, from the app's desktop file); an app it cannot
// name, or whose icon is missing, gets the generic application symbol.
// Looked up once per id.
class AppIcons {
 public:
  using IconName = std::function<std::optional<std::string>(const std::string& appId)>;

  explicit AppIcons(IconName iconName = {});

  QIcon icon(const std::string& appId);

 private:
  IconName iconName_;
  std::map<std::string, QIcon> cache_;
  QIcon generic_;
};

}  // namespace tavuno::ui
