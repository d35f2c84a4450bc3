#pragma once

#include <QWidget>

#include "ui/widgets/KeyedRows.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tavuno::ui {

class ProfileRow;
class ServiceBridge;

// The "Profiles" section: saves the current setup under a name, and lists
// the saved profiles (one reused row each, in stored order) to apply,
// rename or delete.
class ProfilesView : public QWidget {
  Q_OBJECT

 public:
  explicit ProfilesView(ServiceBridge& bridge, QWidget* parent = nullptr);

  QLineEdit* nameField() const { return field_; }
  QPushButton* saveButton() const { return save_; }
  ProfileRow* row(const std::string& id) const { return rows_.find(id); }
  std::size_t rowCount() const { return rows_.size(); }

 private:
  void render();
  void save();

  ServiceBridge& bridge_;
  QLabel* saveHeading_;
  QLabel* saveCaption_;
  QLineEdit* field_;
  QPushButton* save_;
  QLabel* listHeading_;
  QLabel* empty_;
  QVBoxLayout* list_;
  KeyedRows<ProfileRow> rows_;
};

}  // namespace tavuno::ui
