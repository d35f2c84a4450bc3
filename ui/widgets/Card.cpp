#include "ui/widgets/Card.h"

#include <QVBoxLayout>

namespace tavuno::ui {

Card::Card(QWidget* parent, int padding) : QFrame(parent), body_(new QVBoxLayout(this)) {
  setObjectName(QStringLiteral("card"));
  setAttribute(Qt::WA_StyledBackground);
  body_->setContentsMargins(padding, padding, padding, padding);
  body_->setSpacing(12);
}

QFrame* makeDivider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(QStringLiteral("divider"));
  line->setFrameShape(QFrame::NoFrame);
  return line;
}

}  // namespace tavuno::ui
