#include "ui/widgets/ConfirmDeleteButton.h"

#include <QEvent>
#include <QMessageBox>

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

void ConfirmDeleteButton::ask() {
  if (box_) {
    box_->raise();
    return;
  }
  box_ = new QMessageBox(this);
  box_->setAttribute(Qt::WA_DeleteOnClose);
  box_->setWindowModality(Qt::WindowModal);
  box_->setIcon(QMessageBox::Warning);
  remove_ = box_->addButton(QString(), QMessageBox::DestructiveRole);
  remove_->setProperty("danger", true);
  cancel_ = box_->addButton(QString(), QMessageBox::RejectRole);
  box_->setDefaultButton(cancel_);
  box_->setEscapeButton(cancel_);
  connect(box_, &QMessageBox::buttonClicked, this, [this](QAbstractButton* button) {
    const bool remove = button == remove_;
    // Answered: the box closes and goes by itself; a new press asks anew.
    box_ = nullptr;
    remove_ = cancel_ = nullptr;
    // The screens act through the service, whose changes reach them on a
    // later turn of the loop: the row (and this question) are still here
    // when the action returns.
    if (remove && action_) action_();
  });
  retranslate();
  box_->open();
}

void ConfirmDeleteButton::answer(bool remove) {
  if (!box_) return;
  QPushButton* button = remove ? remove_ : cancel_;
  if (button) button->click();
}

void ConfirmDeleteButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QPushButton::changeEvent(event);
}

void ConfirmDeleteButton::retranslate() {
  setText(tr(labelKey_));
  setAccessibleName(text());
  setToolTip(tr("Excluir"));
  if (!box_) return;
  box_->setWindowTitle(tr("Confirmar exclusão?"));
  box_->setText(tr("Confirmar exclusão?"));
  box_->setInformativeText(tr(detailKey_));
  if (remove_) remove_->setText(tr("Excluir"));
  if (cancel_) cancel_->setText(tr("Cancelar"));
}

}  // namespace tavuno::ui
