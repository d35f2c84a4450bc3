#pragma once

#include <functional>

#include <QPointer>
#include <QPushButton>

#include "ui/widgets/ConfirmDialog.h"

namespace tavuno::ui {

// A delete button that asks first: pressing it opens "Confirmar exclusão?"
// with its detail, offering "Excluir" (which runs the action) and
// "Cancelar" (the default, which does nothing). The question is shown with
// open(), never exec(): no nested event loop runs, and a test answers it
// through confirmation() or answer().
class ConfirmDeleteButton : public QPushButton {
  Q_OBJECT

 public:
  explicit ConfirmDeleteButton(QWidget* parent = nullptr);

  // Catalogue keys of the button's text and the question's detail; shown in
  // the current language, again after every change of language.
  void setTexts(const char* labelKey, const char* detailKey);
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  // What it deletes (a profile's name, a rule's subject): named in the
  // button's accessible name and in the question, so neither is ambiguous.
  void setSubject(const QString& subject);

  // The open question, if any.
  ConfirmDialog* confirmation() const { return box_; }
  // Answers the open question: true is "Excluir".
  void answer(bool remove);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void ask();
  void retranslate();

  const char* labelKey_ = "";
  const char* detailKey_ = "";
  QString subject_;
  std::function<void()> action_;
  QPointer<ConfirmDialog> box_;
};

}  // namespace tavuno::ui
