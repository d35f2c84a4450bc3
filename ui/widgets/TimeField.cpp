#include "ui/widgets/TimeField.h"

#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QStyleOptionSpinBox>
#include <QWheelEvent>

#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

TimeField::TimeField(QWidget* parent) : QTimeEdit(parent) {
  setObjectName(QStringLiteral("timeField"));
  setFocusPolicy(Qt::StrongFocus);  // not the wheel: see wheelEvent()
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setCursor(Qt::IBeamCursor);
  followLocale();
}

void TimeField::followLocale() {
  const QLocale locale;
  setLocale(locale);
  // The locale's short form, seconds never shown (a rule fires on the minute).
  QString format = locale.timeFormat(QLocale::ShortFormat);
  format.remove(QStringLiteral(":ss")).remove(QStringLiteral(".ss"));
  setDisplayFormat(format.isEmpty() ? QStringLiteral("HH:mm") : format);
}

void TimeField::changeEvent(QEvent* event) {
  // A language change sets the default locale before the translators swap.
  if (event->type() == QEvent::LanguageChange) followLocale();
  QTimeEdit::changeEvent(event);
}

void TimeField::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();  // on to the scroll area
    return;
  }
  QTimeEdit::wheelEvent(event);
}

void TimeField::paintEvent(QPaintEvent* event) {
  QTimeEdit::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor ink = isEnabled() ? colors::secondary : QColor(93, 103, 128);
  const int clock = 15;
  painter.drawPixmap(10, (height() - clock) / 2, symbol("clock", clock, ink, devicePixelRatioF()));

  // The steppers the style sheet leaves blank: a chevron up over one down.
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  painter.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (const auto control : {QStyle::SC_SpinBoxUp, QStyle::SC_SpinBoxDown}) {
    const QRectF box = style()->subControlRect(QStyle::CC_SpinBox, &option, control, this);
    if (box.isEmpty()) continue;
    const QPointF centre = box.center();
    const qreal tip = control == QStyle::SC_SpinBoxUp ? -1.5 : 1.5;
    const QPointF points[] = {centre + QPointF(-3.5, -tip), centre + QPointF(0, tip),
                              centre + QPointF(3.5, -tip)};
    painter.drawPolyline(points, 3);
  }
}

}  // namespace tavuno::ui
