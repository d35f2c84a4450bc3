#include "ui/widgets/StepDots.h"

#include <QPainter>

#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {
constexpr int dot = 6;
constexpr int bar = 18;
constexpr int gap = 6;
}  // namespace

StepDots::StepDots(int count, QWidget* parent) : QWidget(parent), count_(count) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StepDots::setCurrent(int step) {
  if (step == current_) return;
  current_ = step;
  update();
}

QSize StepDots::sizeHint() const {
  return {bar + (count_ - 1) * (dot + gap), dot};
}

void StepDots::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  qreal x = 0;
  const qreal y = (height() - dot) / 2.0;
  for (int i = 0; i < count_; ++i) {
    const int width = i == current_ ? bar : dot;
    painter.setBrush(i == current_ ? colors::accent
                                   : QColor(255, 255, 255, i < current_ ? 110 : 40));
    painter.drawRoundedRect(QRectF(x, y, width, dot), dot / 2.0, dot / 2.0);
    x += width + gap;
  }
}

}  // namespace tavuno::ui
