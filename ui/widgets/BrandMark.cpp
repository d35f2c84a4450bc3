#include "ui/widgets/BrandMark.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tavuno::ui {

namespace {

void paintMark(QPainter& painter, qreal size, bool muted) {
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF tile(0, 0, size, size);
  QLinearGradient backing(tile.topLeft(), tile.bottomRight());
  backing.setColorAt(0, QColor(24, 33, 58));
  backing.setColorAt(1, QColor(14, 19, 36));
  QPainterPath rounded;
  rounded.addRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), size * 0.25, size * 0.25);
  painter.fillPath(rounded, backing);
  painter.setPen(QPen(QColor(255, 255, 255, 30), 1));
  painter.drawPath(rounded);

  QLinearGradient brand(tile.topLeft(), tile.bottomRight());
  if (muted) {
    brand.setColorAt(0, QColor(150, 160, 180));
    brand.setColorAt(1, QColor(110, 118, 138));
  } else {
    brand.setColorAt(0, QColor(34, 211, 238));
    brand.setColorAt(0.5, QColor(59, 130, 245));
    brand.setColorAt(1, QColor(168, 85, 247));
  }
  // Five bars, the symbol at 23/48 of the tile.
  const qreal glyph = size * 23.0 / 48.0;
  const qreal left = (size - glyph) / 2, top = (size - glyph) / 2;
  const qreal heights[] = {0.32, 0.62, 1.0, 0.66, 0.36};
  const qreal step = glyph / 4.0;
  QPen pen(QBrush(brand), qMax<qreal>(1.5, size * 0.075), Qt::SolidLine, Qt::RoundCap);
  painter.setPen(pen);
  for (int i = 0; i < 5; ++i) {
    const qreal x = left + step * i;
    const qreal half = glyph * heights[i] / 2;
    painter.drawLine(QPointF(x, top + glyph / 2 - half), QPointF(x, top + glyph / 2 + half));
  }
  if (muted) {
    painter.setPen(
        QPen(QColor(248, 113, 113), qMax<qreal>(1.5, size * 0.08), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(size * 0.22, size * 0.22), QPointF(size * 0.78, size * 0.78));
  }
}

}  // namespace

BrandMark::BrandMark(int size, QWidget* parent) : QWidget(parent), size_(size) {
  setFixedSize(size, size);
  setAttribute(Qt::WA_TranslucentBackground);
}

QPixmap BrandMark::render(int size, qreal devicePixelRatio, bool muted) {
  QPixmap pixmap(qRound(size * devicePixelRatio), qRound(size * devicePixelRatio));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.scale(devicePixelRatio, devicePixelRatio);
  paintMark(painter, size, muted);
  painter.end();
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

void BrandMark::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintMark(painter, size_, false);
}

}  // namespace tavuno::ui
