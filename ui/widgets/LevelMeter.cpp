#include "ui/widgets/LevelMeter.h"

#include <algorithm>
#include <cmath>

#include <QAccessibleWidget>
#include <QLinearGradient>
#include <QPainter>

#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {

// To assistive technology the meter is a read-only level indicator whose
// value is the bar's length, 0...100.
class AccessibleLevelMeter : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit AccessibleLevelMeter(LevelMeter* meter)
      : QAccessibleWidget(meter, QAccessible::ProgressBar) {}
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override {
    return int(std::lround(static_cast<LevelMeter*>(widget())->level() * 100));
  }
  void setCurrentValue(const QVariant&) override {}  // read-only
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* accessibleMeter(const QString& className, QObject* object) {
  if (className == QLatin1String("tavuno::ui::LevelMeter") && object && object->isWidgetType())
    return new AccessibleLevelMeter(static_cast<LevelMeter*>(object));
  return nullptr;
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(accessibleMeter);
    return true;
  }();
  (void)installed;
  setFixedHeight(4);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void LevelMeter::setLevel(double level) {
  level = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
  // Repaint only when the bar moves by at least a pixel.
  if (std::abs(level - level_) * width() < 0.5) return;
  const bool stepped = std::lround(level * 100) != std::lround(level_ * 100);
  level_ = level;
  update();
  if (stepped && QAccessible::isActive()) {
    QAccessibleValueChangeEvent change(this, int(std::lround(level * 100)));
    QAccessible::updateAccessibility(&change);
  }
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
