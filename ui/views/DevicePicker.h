#pragma once

#include <QWidget>

class QLabel;

namespace tavuno::ui {

class PickerBox;
class ServiceBridge;

// The compact chooser of the default output (or input): its symbol, its
// label and the devices of that side with the default selected.
class DevicePicker : public QWidget {
  Q_OBJECT

 public:
  DevicePicker(ServiceBridge& bridge, bool input, QWidget* parent = nullptr);
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

}  // namespace tavuno::ui
