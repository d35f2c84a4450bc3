#include "ui/widgets/LevelMeter.h"

#include <algorithm>
#include <cmath>

#include <QLinearGradient>
#include <QPainter>

#include "ui/widgets/Theme.h"

namespace tavuno::ui {

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
  setFixedHeight(4);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void LevelMeter::setLevel(double level) {
  level = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
  // Repaint only when the bar moves by at least a pixel.
  if (std::abs(level - level_) * width() < 0.5) return;
  level_ = level;
  update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const QRectF track = rect();
  painter.setBrush(QColor(255, 255, 255, 20));
  painter.drawRoundedRect(track, 2, 2);
  if (level_ <= 0) return;
  QLinearGradient gradient(track.topLeft(), track.topRight());
  gradient.setColorAt(0, colors::meterLow);
  gradient.setColorAt(0.75, colors::meterLow);
  gradient.setColorAt(0.9, colors::meterHigh);
  gradient.setColorAt(1, colors::meterClip);
  painter.setBrush(gradient);
  painter.drawRoundedRect(QRectF(track.left(), track.top(), track.width() * level_, track.height()),
                          2, 2);
}

}  // namespace tavuno::ui
