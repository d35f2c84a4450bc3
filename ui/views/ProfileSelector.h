#pragma once

#include <QWidget>

class QLabel;

namespace tavuno::ui {

class PickerBox;
class ServiceBridge;

// "Perfil ativo": the saved profiles by name, the active one selected;
// choosing one applies it.
class ProfileSelector : public QWidget {
  Q_OBJECT

 public:
  explicit ProfileSelector(ServiceBridge& bridge, QWidget* parent = nullptr);
  PickerBox* box() const { return box_; }

 private:
  void render();

  ServiceBridge& bridge_;
  QLabel* title_;
  PickerBox* box_;
};

}  // namespace tavuno::ui
