#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include "ui/tray/TrayPort.h"

namespace tavuno::ui {

// The tray port on QSystemTrayIcon, used where no StatusNotifierWatcher is
// on the session bus at start (XEmbed; SniTrayIcon serves the others). Qt
// does not pass scroll gestures on, so `scrolled` is never called here. When no
// tray host is there at start, it keeps looking, and shows the icon when one
// appears.
class QtTrayIcon : public QObject, public TrayPort {
  Q_OBJECT

 public:
  explicit QtTrayIcon(QObject* parent = nullptr);

  bool available() const override;
  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  void setIcon(const QIcon& icon) override { icon_.setIcon(icon); }
  // The theme's symbolic icon where the theme has it, Tavuno's own otherwise.
  void setIconName(const QString& name) override {
    if (QIcon::hasThemeIcon(name)) icon_.setIcon(QIcon::fromTheme(name));
  }
  void setToolTip(const QString& text) override { icon_.setToolTip(text); }
  void setMenu(QMenu* menu) override { icon_.setContextMenu(menu); }
  void show() override;
  // Where the host shows the icon, on the screen; empty while it shows none.
  QRect geometry() const { return icon_.geometry(); }

 signals:
  void becameAvailable();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QSystemTrayIcon icon_;
  QTimer watch_;
  Handlers handlers_;
};

}  // namespace tavuno::ui
