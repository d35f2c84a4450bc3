#pragma once

#include <QObject>

class QWidget;

namespace tavuno {

// For the figures script: says on standard error, as seconds since the
// epoch, when the event loop first turns after start-up (the tray icon
// shown) and, when the main window is open, when it has first been drawn
// and the loop turns again (the window answers). The script takes the time
// from launch to each. Started only when TAVUNO_REPORT_STARTUP is set.
class StartupReport : public QObject {
  Q_OBJECT

 public:
  // `window`: the main window when it was opened at start, else null.
  explicit StartupReport(QWidget* window, QObject* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static void say(const char* what);

  bool drawn_ = false;
};

}  // namespace tavuno
