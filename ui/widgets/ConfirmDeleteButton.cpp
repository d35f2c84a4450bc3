#include "ui/widgets/ConfirmDeleteButton.h"

#include <QEvent>

#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ConfirmDeleteButton::ConfirmDeleteButton(QWidget* parent) : QPushButton(parent) {
  setProperty("danger", true);
  setIcon(symbolIcon("trash", colors::danger, 16));
  setCursor(Qt::PointingHandCursor);
  connect(this, &QPushButton::clicked, this, &ConfirmDeleteButton::ask);
}

void ConfirmDeleteButton::setTexts(const char* labelKey, const char* detailKey) {
  labelKey_ = labelKey;
  detailKey_ = detailKey;
  retranslate();
}

void ConfirmDeleteButton::setSubject(const QString& subject) {
  if (subject == subject_) return;
  subject_ = subject;
  retranslate();
}

void ConfirmDeleteButton::ask() {
  if (box_) {
    box_->raise();
    return;
  }
  box_ = new ConfirmDialog(this);
  box_->setAttribute(Qt::WA_DeleteOnClose);
  box_->setWindowModality(Qt::WindowModal);
  connect(box_, &QDialog::finished, this, [this](int result) {
    // Answered: the question closes and goes by itself; a new press asks
    // anew. The screens act through the service, whose changes reach them
    // on a later turn of the loop: this button is still here when the
    // action returns.
    box_ = nullptr;
    if (result == QDialog::Accepted && action_) action_();
  });
  retranslate();
  box_->open();
}

void ConfirmDeleteButton::answer(bool remove) {
  if (!box_) return;
  if (remove)
    box_->accept();
  else
    box_->reject();
}

void ConfirmDeleteButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QPushButton::changeEvent(event);
}

void ConfirmDeleteButton::retranslate() {
  setText(tr(labelKey_));
  setAccessibleName(subject_.isEmpty() ? text() : text() + QLatin1Char(' ') + subject_);
  setToolTip(tr("Excluir"));
  if (!box_) return;
  const QString detail = subject_.isEmpty()
                             ? tr(detailKey_)
                             : QStringLiteral("“%1”\n%2").arg(subject_, tr(detailKey_));
  box_->setTexts(tr("Confirmar exclusão?"), detail, tr("Excluir"), tr("Cancelar"));
}

}  // namespace tavuno::ui
