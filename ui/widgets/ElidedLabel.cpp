#include "ui/widgets/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace tavuno::ui {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize ElidedLabel::minimumSizeHint() const {
  // Room for a few letters and the ellipsis; the layout gives the rest.
  return {fontMetrics().horizontalAdvance(QStringLiteral("Wwww…")),
          QLabel::minimumSizeHint().height()};
}

bool ElidedLabel::elided() const {
  return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
  const QString tip = shown == text() ? QString() : text();
  if (toolTip() != tip) setToolTip(tip);
  QPainter painter(this);
  style()->drawItemText(&painter, area, int(alignment()) | Qt::TextSingleLine, palette(),
                        isEnabled(), shown, foregroundRole());
}

}  // namespace tavuno::ui
