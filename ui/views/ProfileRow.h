#pragma once

#include <QFrame>

#include "profiles/AudioProfile.h"
#include "service/ServiceState.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavuno::ui {

class ConfirmDeleteButton;
class ServiceBridge;

// One saved profile: its name with "Ativo" when it is the active one, its
// devices ("Dispositivo indisponível" for one that is not there), volume and
// number of applications, and "Aplicar", "Renomear" and "Excluir perfil".
// Renaming edits the name in place; Enter saves, Escape cancels.
class ProfileRow : public QFrame {
  Q_OBJECT

 public:
  ProfileRow(ServiceBridge& bridge, QWidget* parent = nullptr);

  void render(const AudioProfile& profile, const ServiceState& state);
  const AudioProfile& profile() const { return profile_; }

  bool editing() const;
  QLabel* name() const { return name_; }
  QLabel* badge() const { return badge_; }
  QLabel* output() const { return output_; }
  QLabel* input() const { return input_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* renameButton() const { return rename_; }
  ConfirmDeleteButton* deleteButton() const { return delete_; }
  QLineEdit* nameField() const { return field_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void startEditing();
  void save();
  void stopEditing();

  ServiceBridge& bridge_;
  AudioProfile profile_;
  QLabel* icon_;
  QLabel* name_;
  QLabel* badge_;
  QLabel* outputIcon_;
  QLabel* output_;
  QLabel* inputIcon_;
  QLabel* input_;
  QLabel* volume_;
  QLabel* apps_;
  QWidget* viewHead_;
  QWidget* editHead_;
  QPushButton* apply_;
  QPushButton* rename_;
  ConfirmDeleteButton* delete_;
  QLineEdit* field_;
  QPushButton* save_;
  QPushButton* cancel_;
};

}  // namespace tavuno::ui
