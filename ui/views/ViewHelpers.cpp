#include "ui/views/ViewHelpers.h"

#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

QLabel* makeLabel(const char* role, QWidget* parent) {
  auto* label = new QLabel(parent);
  setRole(label, role);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* makeSymbol(const char* name, int size, const QColor& color, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setFixedSize(size, size);
  setSymbol(label, name, size, color);
  return label;
}

void setSymbol(QLabel* label, const char* name, int size, const QColor& color) {
  label->setPixmap(symbol(name, size, color, label->devicePixelRatioF()));
}

QPushButton* makeIconButton(QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QStringLiteral("iconButton"));
  button->setIconSize(QSize(18, 18));
  button->setCursor(Qt::PointingHandCursor);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

void setTextShown(QLabel* label, const QString& text) {
  label->setText(text);
  label->setVisible(!text.isEmpty());
}

}  // namespace tavuno::ui
