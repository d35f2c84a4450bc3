#include "ui/tray/QtTrayIcon.h"

#include <QCursor>

namespace tavuno::ui {

QtTrayIcon::QtTrayIcon(QObject* parent) : QObject(parent) {
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger && handlers_.activated) handlers_.activated(QCursor::pos());
    if (why == QSystemTrayIcon::MiddleClick && handlers_.middleClicked) handlers_.middleClicked();
  });
  watch_.setInterval(5000);
  connect(&watch_, &QTimer::timeout, this, [this] {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    watch_.stop();
    icon_.show();
    emit becameAvailable();
  });
}

bool QtTrayIcon::available() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::show() {
  if (available())
    icon_.show();
  else
    watch_.start();
}

}  // namespace tavuno::ui
