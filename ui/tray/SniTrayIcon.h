#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include "ui/tray/TrayPort.h"

namespace tavuno::ui {

class SniItemAdaptor;

// The tray port as a StatusNotifierItem of Tavuno's own: QSystemTrayIcon
// does not pass the host's Scroll on. It holds a name of its own on the bus
// (org.kde.StatusNotifierItem-PID-N), exports /StatusNotifierItem and
// registers with org.kde.StatusNotifierWatcher, again whenever a watcher
// appears. The icon goes by theme name (a symbolic one that suits light and
// dark panels); the context menu pops up where the host asks.
//
// Whatever the host sends is taken with care: a scroll adds up to whole
// notches of 120, at most ten notches a call; a horizontal one is ignored.
class SniTrayIcon : public QObject, public TrayPort {
  Q_OBJECT

 public:
  static constexpr int notch = 120;
  static constexpr int maxNotches = 10;

  explicit SniTrayIcon(QDBusConnection bus, QObject* parent = nullptr);
  ~SniTrayIcon() override;

  // Whether a watcher is on the session bus now.
  static bool watcherPresent(const QDBusConnection& bus);

  bool available() const override;
  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  void setIcon(const QIcon& icon) override;
  void setToolTip(const QString& text) override;
  void setMenu(QMenu* menu) override { menu_ = menu; }
  void show() override;

  void setIconName(const QString& name) override;
  const QString& serviceName() const { return serviceName_; }

  // What the adaptor exposes and calls.
  QString iconName() const { return iconName_; }
  QString toolTip() const { return toolTip_; }
  const QIcon& icon() const { return icon_; }
  void activate(int x, int y);
  void secondaryActivate();
  void scroll(int delta, const QString& orientation);
  void contextMenu(int x, int y);

 private:
  void registerWithWatcher();

  QDBusConnection bus_;
  QString serviceName_;
  SniItemAdaptor* adaptor_;
  QDBusServiceWatcher watcher_;
  Handlers handlers_;
  QPointer<QMenu> menu_;
  QString iconName_;
  QIcon icon_;
  QString toolTip_;
  int scrollRest_ = 0;
  bool published_ = false;
};

}  // namespace tavuno::ui
