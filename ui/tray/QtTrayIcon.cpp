#include "ui/tray/QtTrayIcon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tavuno::ui {

QtTrayIcon::QtTrayIcon(QObject* parent) : QObject(parent) {
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    // Qt reports the second of two quick clicks as a double click only: it
    // is a click all the same (open, then close the panel at once).
    const bool click = why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick;
    if (click && handlers_.activated) handlers_.activated(QCursor::pos());
    if (why == QSystemTrayIcon::MiddleClick && handlers_.middleClicked) handlers_.middleClicked();
  });
  // Qt drops the second of two quick middle clicks (it calls it a double
  // click and reports double clicks of the left button only): catch it on
  // the icon's own window.
  QCoreApplication::instance()->installEventFilter(this);
  watch_.setInterval(5000);
  connect(&watch_, &QTimer::timeout, this, [this] {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    watch_.stop();
    icon_.show();
    emit becameAvailable();
  });
}

bool QtTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonDblClick || !watched->isWidgetType()) return false;
  if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton) return false;
  const QWindow* window = static_cast<QWidget*>(watched)->windowHandle();
  if (window && window->objectName() == QLatin1String("QSystemTrayIconSysWindow") &&
      handlers_.middleClicked)
    handlers_.middleClicked();
  return false;
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
