#include "ui/widgets/ConfirmDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ConfirmDialog::ConfirmDialog(QWidget* parent)
    : QDialog(parent),
      title_(new QLabel(this)),
      detail_(new QLabel(this)),
      remove_(new QPushButton(this)),
      cancel_(new QPushButton(this)) {
  setObjectName(QStringLiteral("confirmDialog"));
  setFixedWidth(380);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(22, 22, 22, 18);
  layout->setSpacing(16);
  auto* icon = new QLabel(this);
  icon->setPixmap(symbol("trash", 26, colors::danger, devicePixelRatioF()));
  icon->setFixedSize(26, 26);
  layout->addWidget(icon, 0, Qt::AlignTop);

  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  title_->setFont(pixelFont(15, QFont::DemiBold));
  title_->setTextFormat(Qt::PlainText);
  title_->setWordWrap(true);
  column->addWidget(title_);
  setRole(detail_, "caption");
  detail_->setTextFormat(Qt::PlainText);
  detail_->setWordWrap(true);
  column->addWidget(detail_);
  column->addSpacing(14);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  remove_->setProperty("destructive", true);
  buttons->addWidget(remove_);
  column->addLayout(buttons);
  layout->addLayout(column, 1);

  cancel_->setDefault(true);
  cancel_->setFocus();
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(remove_, &QPushButton::clicked, this, &QDialog::accept);
}

void ConfirmDialog::setTexts(const QString& title, const QString& detail, const QString& remove,
                             const QString& cancel) {
  setWindowTitle(title);
  title_->setText(title);
  detail_->setText(detail);
  setAccessibleName(title);
  setAccessibleDescription(detail);
  remove_->setText(remove);
  cancel_->setText(cancel);
}

}  // namespace tavuno::ui
