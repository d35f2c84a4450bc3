#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class LevelMeter;
class MeterFeed;
class ServiceBridge;

// The default input's level: a live meter while the view is on screen. A
// Bluetooth input is not metered unasked (it would switch the headset to its
// call profile): a "Testar" button takes the meter's place, with a line that
// says why, and meters until pressed again or the view is left.
class InputLevelView : public QWidget {
  Q_OBJECT

 public:
  InputLevelView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);
  ~InputLevelView() override;

  LevelMeter* meter() const { return meter_; }
  QPushButton* testButton() const { return test_; }
  QLabel* caption() const { return caption_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void render();

  ServiceBridge& bridge_;
  MeterFeed& meters_;
  LevelMeter* meter_;
  QPushButton* test_;
  QLabel* caption_;
  bool metering_ = false;
};

}  // namespace tavuno::ui
