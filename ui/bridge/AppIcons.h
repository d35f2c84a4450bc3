#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include <QIcon>

namespace tavuno::ui {

// Applications' own icons for the screens, found by app id through the
// platform (on Linux the desktop file's Icon=). Main thread.
class AppIcons {
 public:
  // A theme icon name or an absolute file path for an app id; nothing when
  // the platform knows none.
  using Lookup = std::function<std::optional<std::string>(const std::string& appId)>;

  // Where the platform gives no icon theme (offscreen, a bare X server), the
  // freedesktop folders and the "hicolor" theme are searched.
  void setLookup(Lookup lookup);

  // The icon the platform names for `appId`, else the theme icon named like
  // the app id; a null icon when neither exists (the screens then draw the
  // generic one).
  QIcon icon(const std::string& appId);

 private:
  QIcon named(const std::string& name);

  Lookup lookup_;
  std::unordered_map<std::string, QIcon> byName_;
};

}  // namespace tavuno::ui
