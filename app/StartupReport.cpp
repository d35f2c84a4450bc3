#include "app/StartupReport.h"

#include <chrono>
#include <cstdio>

#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tavuno {

StartupReport::StartupReport(QWidget* window, QObject* parent) : QObject(parent) {
  QTimer::singleShot(0, this,
                     [] { say(QSystemTrayIcon::isSystemTrayAvailable() ? "tray" : "no-tray"); });
  if (window && window->windowHandle()) window->windowHandle()->installEventFilter(this);
}

bool StartupReport::eventFilter(QObject* watched, QEvent* event) {
  // An expose is handled by drawing the window; the next turn of the loop
  // comes after it.
  if (!drawn_ && event->type() == QEvent::Expose) {
    if (auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed()) {
      drawn_ = true;
      QTimer::singleShot(0, this, [] { say("window"); });
    }
  }
  return QObject::eventFilter(watched, event);
}

void StartupReport::say(const char* what) {
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  std::fprintf(stderr, "tavuno-startup: %s %.6f\n", what, now);
  std::fflush(stderr);
}

}  // namespace tavuno
