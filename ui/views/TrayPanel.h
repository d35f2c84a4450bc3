#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QPushButton;
class QScrollArea;

namespace tavuno::ui {

class AppsView;
class DevicePicker;
class ErrorLine;
class MeterFeed;
class ProfileSelector;
class ServiceBridge;
class VolumeView;

// The quick panel of the tray icon, 340 px wide: the brand and "Abrir", the
// error line, the active profile, the output volume, the default output and
// input, the applications in compact form, and "Encerrar Tavuno". A frameless
// tool window that hides when it loses focus or on Escape.
class TrayPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int panelWidth = 340;
  // A toggle this soon after the panel hid on losing focus is the click on
  // the tray icon that took the focus: it closes the panel, not reopens it.
  static constexpr int reopenGuard = 300;  // milliseconds

  TrayPanel(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);

  // Shows the panel near `anchor` (the cursor on X11), kept inside the screen.
  void popup(const QPoint& anchor);
  // Hides the panel when shown or just hidden on losing focus (the press on
  // the icon); shows it otherwise.
  void toggle(const QPoint& anchor);

  QPushButton* openButton() const { return open_; }
  QPushButton* quitButton() const { return quit_; }
  AppsView* apps() const { return apps_; }
  VolumeView* volume() const { return volume_; }
  VolumeView* inputVolume() const { return inputVolume_; }
  ErrorLine* errorLine() const { return error_; }

 signals:
  void openRequested();
  void quitRequested();

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void retranslate();
  void fitHeight();

  QPushButton* open_;
  ErrorLine* error_;
  ProfileSelector* profiles_;
  VolumeView* volume_;
  DevicePicker* output_;
  DevicePicker* input_;
  VolumeView* inputVolume_;
  QScrollArea* scroll_;
  AppsView* apps_;
  QPushButton* quit_;
  QElapsedTimer hiddenOnFocusLoss_;
};

}  // namespace tavuno::ui
