#pragma once

#include <memory>

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include "ui/tray/TrayPort.h"

class QMenu;

namespace tavuno::ui {

class QtTrayIcon;
class SniTrayIcon;

// The tray port of a real desktop: Tavuno's own StatusNotifierItem where a
// watcher runs on the session bus, QSystemTrayIcon (XEmbed) where none does.
// A watcher that starts later (a panel that comes up after Tavuno at login)
// gets the item: the icon moves over with its handlers, picture, name,
// tooltip and menu, so scrolling on it works as it would have from the start.
// Once on the item it stays there; the item registers again whenever a
// watcher returns.
class DesktopTrayIcon : public QObject, public TrayPort {
  Q_OBJECT

 public:
  explicit DesktopTrayIcon(QDBusConnection bus, QObject* parent = nullptr);
  ~DesktopTrayIcon() override;

  bool available() const override;
  void setHandlers(Handlers handlers) override;
  void setIcon(const QIcon& icon) override;
  void setIconName(const QString& name) override;
  void setToolTip(const QString& text) override;
  void setMenu(QMenu* menu) override;
  void show() override;

  // The StatusNotifierItem once in use, else null.
  SniTrayIcon* item() const { return item_.get(); }
  // The embedded (XEmbed) icon while in use, else null.
  QtTrayIcon* embedded() const { return embedded_.get(); }

 private:
  TrayPort& current() const;
  void moveToItem();

  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  std::unique_ptr<SniTrayIcon> item_;
  std::unique_ptr<QtTrayIcon> embedded_;
  Handlers handlers_;
  QIcon icon_;
  QString iconName_;
  QString toolTip_;
  QPointer<QMenu> menu_;
  bool shown_ = false;
};

}  // namespace tavuno::ui
