#include "ui/widgets/AppIcons.h"

#include <QFileInfo>

#include "ui/widgets/Icons.h"

namespace tavuno::ui {

AppIcons::AppIcons(IconName iconName)
    : iconName_(std::move(iconName)), generic_(symbolIcon("app", QColor(120, 140, 180), 20)) {}

QIcon AppIcons::icon(const std::string& appId) {
  auto cached = cache_.find(appId);
  if (cached != cache_.end()) return cached->second;
  QIcon found;
  if (auto name = iconName_ ? iconName_(appId) : std::nullopt; name && !name->empty()) {
    const QString text = QString::fromStdString(*name);
    if (text.startsWith(QLatin1Char('/'))) {
      if (QFileInfo(text).isFile()) found = QIcon(text);
    } else {
      found = QIcon::fromTheme(text);
    }
  }
  // A file that is not an image makes an icon that draws nothing.
  if (found.isNull() || found.pixmap(QSize(20, 20)).isNull()) found = generic_;
  return cache_.emplace(appId, found).first->second;
}

}  // namespace tavuno::ui
