#pragma once

#include <QWidget>

class QLabel;
class QStackedWidget;

namespace tavuno::ui {

class DevicesView;
class ErrorLine;
class MeterFeed;
class MixerView;
class ServiceBridge;
class Sidebar;

// The main window: the sidebar and, on the right, the selected section under
// its title and subtitle and the error line, centred up to 900 px. Closing
// it only hides it; a reopened window starts on the mixer.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int minimumWidth = 880;
  static constexpr int minimumHeight = 600;
  static constexpr int contentWidth = 900;

  MainWindow(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);

  void selectSection(int section);
  int section() const;
  // Shows the window (on the mixer when it was closed) and brings it forward.
  void open();

  Sidebar* sidebar() const { return sidebar_; }
  MixerView* mixer() const { return mixer_; }
  DevicesView* devices() const { return devices_; }
  ErrorLine* errorLine() const { return error_; }
  QLabel* title() const { return title_; }
  QLabel* subtitle() const { return subtitle_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void retranslate();

  Sidebar* sidebar_;
  QLabel* title_;
  QLabel* subtitle_;
  ErrorLine* error_;
  QStackedWidget* pages_;
  MixerView* mixer_;
  DevicesView* devices_;
};

}  // namespace tavuno::ui
