#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tavuno::ui {

// "Confirmar exclusão?" with its detail, "Cancelar" (the default, and
// Escape) and "Excluir" in the destructive colour. Accepted means delete.
// Texts are set by the caller, in the current language.
class ConfirmDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConfirmDialog(QWidget* parent = nullptr);
  void setTexts(const QString& title, const QString& detail, const QString& remove,
                const QString& cancel);

  QLabel* title() const { return title_; }
  QLabel* detail() const { return detail_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  QLabel* title_;
  QLabel* detail_;
  QPushButton* remove_;
  QPushButton* cancel_;
};

}  // namespace tavuno::ui
