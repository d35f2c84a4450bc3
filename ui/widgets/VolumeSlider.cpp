#include "ui/widgets/VolumeSlider.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

namespace tavuno::ui {

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 100);
  setSingleStep(1);
  setPageStep(5);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  trailing_.setSingleShot(true);
  connect(&trailing_, &QTimer::timeout, this, &VolumeSlider::send);
  // actionTriggered covers keys, the wheel and clicks; sliderMoved the drag.
  // The wheel and a jump report SliderMove too, with the slider not held.
  // Programmatic setValue() emits neither.
  connect(this, &QSlider::actionTriggered, this, [this](int action) {
    if (action == SliderMove && isSliderDown()) return;  // the drag, handled below
    // The position already holds the step; the value follows after this
    // signal. Sent now: a refresh before the next turn of the loop would
    // put the old value back.
    pending_ = sliderPosition();
    send();
  });
  connect(this, &QSlider::sliderMoved, this, &VolumeSlider::userMoved);
  connect(this, &QSlider::sliderReleased, this, [this] {
    pending_ = value();
    send();
  });
}

void VolumeSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (!handle.contains(event->position().toPoint())) {
      // Centre the handle under the pointer: the press below then grabs it.
      const QRect groove =
          style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
      const int span = groove.width() - handle.width();
      const int x = event->position().toPoint().x() - groove.x() - handle.width() / 2;
      setSliderPosition(
          QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown));
    }
  }
  QSlider::mousePressEvent(event);
}

void VolumeSlider::showValue(float volume) {
  if (isSliderDown()) return;
  const float clamped = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
  const QSignalBlocker block(this);
  setValue(static_cast<int>(std::lround(clamped * 100.0f)));
}

void VolumeSlider::userMoved(int value) {
  pending_ = value;
  if (!sinceSent_.isValid() || sinceSent_.elapsed() >= minimumIntervalMs) {
    send();
  } else if (!trailing_.isActive()) {
    trailing_.start(minimumIntervalMs - static_cast<int>(sinceSent_.elapsed()));
  }
}

void VolumeSlider::send() {
  trailing_.stop();
  if (pending_ < 0) return;
  const int value = pending_;
  pending_ = -1;
  sinceSent_.restart();
  emit volumeChosen(static_cast<float>(value) / 100.0f);
}

}  // namespace tavuno::ui
