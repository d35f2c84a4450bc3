#pragma once

#include <QWidget>

class QLabel;

namespace tavuno::ui {

class PickerBox;
class ServiceBridge;

// A chooser of one device of a side (outputs or inputs), its title above the
// devices of that side. It picks either the system's default device (the
// mixer, the tray panel and the first-run guide: the side's symbol by a
// heading) or the preferred device that automatic switching turns to (the
// Devices section and the guide: a caption, with "Nenhum" and "Preferido
// desconectado" for a stored device that is gone).
class DevicePicker : public QWidget {
  Q_OBJECT

 public:
  enum class Role { systemDefault, preferred };

  DevicePicker(ServiceBridge& bridge, bool input, Role role, QWidget* parent = nullptr);
  PickerBox* box() const { return box_; }

 private:
  void render();

  ServiceBridge& bridge_;
  bool input_;
  Role role_;
  QLabel* title_;
  PickerBox* box_;
};

}  // namespace tavuno::ui
