#include "ui/widgets/Switch.h"

#include <QPainter>

#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {
constexpr int trackWidth = 38;
constexpr int trackHeight = 22;
}  // namespace

Switch::Switch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize Switch::sizeHint() const {
  const QFontMetrics metrics(font());
  const int textWidth = metrics.horizontalAdvance(text());
  return {textWidth + 16 + trackWidth + 4, qMax(trackHeight + 6, metrics.height() + 6)};
}

void Switch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect track(width() - trackWidth - 2, (height() - trackHeight) / 2, trackWidth,
                    trackHeight);
  const QRect label(0, 0, track.left() - 12, height());
  painter.setPen(isEnabled() ? colors::text : colors::secondary);
  painter.setFont(font());
  painter.drawText(label, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text());

  QColor fill = isChecked() ? colors::accent : QColor(255, 255, 255, 46);
  if (!isEnabled()) fill.setAlpha(70);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(track, trackHeight / 2.0, trackHeight / 2.0);
  const int knob = trackHeight - 6;
  const int x = isChecked() ? track.right() - knob - 2 : track.left() + 3;
  painter.setBrush(QColor(245, 247, 252));
  painter.drawEllipse(QRect(x, track.top() + 3, knob, knob));
  if (hasFocus()) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(141, 180, 250), 1.5));
    painter.drawRoundedRect(track.adjusted(-2, -2, 2, 2), trackHeight / 2.0 + 2,
                            trackHeight / 2.0 + 2);
  }
}

}  // namespace tavuno::ui
