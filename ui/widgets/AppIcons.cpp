#include "ui/widgets/AppIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "ui/widgets/Icons.h"

namespace tavuno::ui {

AppIcons::AppIcons(IconName iconName) : iconName_(std::move(iconName)) {
  if (!iconName_ || !QIcon::themeName().isEmpty()) return;
  QStringList paths = QIcon::themeSearchPaths();
  QStringList pixmaps = QIcon::fallbackSearchPaths();
  for (const QString& data :
       QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
    paths.append(QDir(data).filePath(QStringLiteral("icons")));
    pixmaps.append(QDir(data).filePath(QStringLiteral("pixmaps")));
  }
  QIcon::setThemeSearchPaths(paths);
  QIcon::setFallbackSearchPaths(pixmaps);
  QIcon::setThemeName(QStringLiteral("hicolor"));
}

QIcon AppIcons::icon(const std::string& appId) {
  auto cached = cache_.find(appId);
  if (cached != cache_.end()) return cached->second;
  QIcon found;
  if (iconName_) {
    if (auto name = iconName_(appId); name && !name->empty()) found = named(*name);
    // Many applications name their icon after their desktop id.
    if (found.isNull() && appId.find(':') == std::string::npos) found = named(appId);
  }
  // A file that is not an image makes an icon that draws nothing.
  if (found.isNull() || found.pixmap(QSize(20, 20)).isNull()) {
    // Drawn when first needed: a Tavuno that stays in the tray shows no icon.
    if (generic_.isNull()) generic_ = symbolIcon("app", QColor(120, 140, 180), 20);
    found = generic_;
  }
  return cache_.emplace(appId, found).first->second;
}

QIcon AppIcons::named(const std::string& name) const {
  QString text = QString::fromStdString(name);
  if (QDir::isAbsolutePath(text)) return QFileInfo(text).isFile() ? QIcon(text) : QIcon();
  // Some desktop files name the icon with its file's extension.
  for (const char* extension : {".png", ".svg", ".xpm"})
    if (text.endsWith(QLatin1String(extension))) text.chop(4);
  return QIcon::hasThemeIcon(text) ? QIcon::fromTheme(text) : QIcon();
}

}  // namespace tavuno::ui
