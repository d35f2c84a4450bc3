#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class DeviceList;
class PickerBox;
class ServiceBridge;
class Switch;

// "Saída preferida" / "Entrada preferida": "Nenhum", the devices of that
// side, and "Preferido desconectado" for a stored device that is gone.
class PreferredPicker : public QWidget {
  Q_OBJECT

 public:
  PreferredPicker(ServiceBridge& bridge, bool input, QWidget* parent = nullptr);
  PickerBox* box() const { return box_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void render();

  ServiceBridge& bridge_;
  bool input_;
  QLabel* title_;
  PickerBox* box_;
};

// The "Devices" section: the outputs and inputs, and the preferred headset
// with automatic switching.
class DevicesView : public QWidget {
  Q_OBJECT

 public:
  explicit DevicesView(ServiceBridge& bridge, QWidget* parent = nullptr);

  DeviceList* outputs() const { return outputs_; }
  DeviceList* inputs() const { return inputs_; }
  PreferredPicker* preferredOutput() const { return preferredOutput_; }
  PreferredPicker* preferredInput() const { return preferredInput_; }
  Switch* automatic() const { return automatic_; }
  QPushButton* useBothButton() const { return useBoth_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void render();

  ServiceBridge& bridge_;
  DeviceList* outputs_;
  DeviceList* inputs_;
  QLabel* heading_;
  PreferredPicker* preferredOutput_;
  PreferredPicker* preferredInput_;
  Switch* automatic_;
  QLabel* caption_;
  QPushButton* useBoth_;
};

}  // namespace tavuno::ui
