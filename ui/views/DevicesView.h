#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class DeviceList;
class DevicePicker;
class InputLevelView;
class MeterFeed;
class ServiceBridge;
class Switch;

// The "Devices" section: the outputs and inputs (with the default input's
// level), and the preferred headset with automatic switching.
class DevicesView : public QWidget {
  Q_OBJECT

 public:
  DevicesView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);

  DeviceList* outputs() const { return outputs_; }
  DeviceList* inputs() const { return inputs_; }
  InputLevelView* inputLevel() const { return inputLevel_; }
  DevicePicker* preferredOutput() const { return preferredOutput_; }
  DevicePicker* preferredInput() const { return preferredInput_; }
  Switch* automatic() const { return automatic_; }
  QPushButton* useBothButton() const { return useBoth_; }

 private:
  void render();

  ServiceBridge& bridge_;
  DeviceList* outputs_;
  DeviceList* inputs_;
  InputLevelView* inputLevel_;
  QLabel* levelTitle_;
  QLabel* heading_;
  DevicePicker* preferredOutput_;
  DevicePicker* preferredInput_;
  Switch* automatic_;
  QLabel* caption_;
  QPushButton* useBoth_;
};

}  // namespace tavuno::ui
