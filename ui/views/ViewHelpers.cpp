#include "ui/views/ViewHelpers.h"

#include <QEvent>
#include <QLabel>

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

namespace {

// Draws a symbol label again when its window moves to a screen of another
// scale (Qt tells every widget of the window).
class SymbolRescaler : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ScreenChangeInternal) {
      auto* label = static_cast<QLabel*>(watched);
      const QByteArray name = label->property("symbolName").toByteArray();
      label->setPixmap(symbol(name.constData(), label->property("symbolSize").toInt(),
                              label->property("symbolColor").value<QColor>(),
                              label->devicePixelRatioF()));
    }
    return false;
  }
};

}  // namespace

void setSymbol(QLabel* label, const char* name, int size, const QColor& color) {
  static SymbolRescaler* rescaler = new SymbolRescaler;
  if (!label->property("symbolName").isValid()) label->installEventFilter(rescaler);
  label->setProperty("symbolName", QByteArray(name));
  label->setProperty("symbolSize", size);
  label->setProperty("symbolColor", color);
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
