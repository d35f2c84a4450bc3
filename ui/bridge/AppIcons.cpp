#include "ui/bridge/AppIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavuno::ui {

void AppIcons::setLookup(Lookup lookup) {
  lookup_ = std::move(lookup);
  byName_.clear();
  if (!lookup_ || !QIcon::themeName().isEmpty()) return;
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
  if (!lookup_) return {};
  if (auto name = lookup_(appId); name && !name->empty()) {
    QIcon found = named(*name);
    if (!found.isNull()) return found;
  }
  // Many applications name their icon after their desktop id.
  return appId.find(':') == std::string::npos ? named(appId) : QIcon();
}

QIcon AppIcons::named(const std::string& name) {
  if (auto it = byName_.find(name); it != byName_.end()) return it->second;
  QString text = QString::fromStdString(name);
  QIcon found;
  if (QDir::isAbsolutePath(text)) {
    if (QFileInfo(text).isFile()) found = QIcon(text);
  } else {
    // Some desktop files name the icon with its file's extension.
    for (const char* extension : {".png", ".svg", ".xpm"})
      if (text.endsWith(QLatin1String(extension))) text.chop(4);
    if (QIcon::hasThemeIcon(text)) found = QIcon::fromTheme(text);
  }
  byName_.emplace(name, found);
  return found;
}

}  // namespace tavuno::ui
