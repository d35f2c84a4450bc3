#include "ui/tray/DesktopTrayIcon.h"

#include <QMenu>

#include "ui/tray/QtTrayIcon.h"
#include "ui/tray/SniTrayIcon.h"

namespace tavuno::ui {

DesktopTrayIcon::DesktopTrayIcon(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  if (SniTrayIcon::watcherPresent(bus_)) {
    item_ = std::make_unique<SniTrayIcon>(bus_);
    return;
  }
  embedded_ = std::make_unique<QtTrayIcon>();
  if (!bus_.isConnected()) return;
  watcher_.setConnection(bus_);
  watcher_.addWatchedService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  watcher_.setWatchMode(QDBusServiceWatcher::WatchForRegistration);
  connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, &DesktopTrayIcon::moveToItem);
}

DesktopTrayIcon::~DesktopTrayIcon() = default;

TrayPort& DesktopTrayIcon::current() const {
  if (item_) return *item_;
  return *embedded_;
}

bool DesktopTrayIcon::available() const {
  return current().available();
}

void DesktopTrayIcon::setHandlers(Handlers handlers) {
  handlers_ = handlers;
  current().setHandlers(std::move(handlers));
}

void DesktopTrayIcon::setIcon(const QIcon& icon) {
  icon_ = icon;
  current().setIcon(icon);
}

void DesktopTrayIcon::setIconName(const QString& name) {
  iconName_ = name;
  current().setIconName(name);
}

void DesktopTrayIcon::setToolTip(const QString& text) {
  toolTip_ = text;
  current().setToolTip(text);
}

void DesktopTrayIcon::setMenu(QMenu* menu) {
  menu_ = menu;
  current().setMenu(menu);
}

void DesktopTrayIcon::show() {
  shown_ = true;
  current().show();
}

void DesktopTrayIcon::moveToItem() {
  if (item_) return;
  watcher_.disconnect(this);
  item_ = std::make_unique<SniTrayIcon>(bus_);
  item_->setHandlers(handlers_);
  if (!icon_.isNull()) item_->setIcon(icon_);
  if (!iconName_.isEmpty()) item_->setIconName(iconName_);
  item_->setToolTip(toolTip_);
  item_->setMenu(menu_);
  // The embedded icon goes before the item shows, so no panel holds both.
  embedded_.reset();
  if (shown_) item_->show();
}

}  // namespace tavuno::ui
