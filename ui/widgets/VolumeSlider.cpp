#include "ui/widgets/VolumeSlider.h"

#include <algorithm>
#include <cmath>

#include <QSignalBlocker>

namespace tavuno::ui {

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 100);
  setSingleStep(1);
  setPageStep(5);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  trailing_.setSingleShot(true);
  connect(&trailing_, &QTimer::timeout, this, &VolumeSlider::send);
  // actionTriggered covers keys, wheel and clicks on the track; sliderMoved
  // the drag. Programmatic setValue() emits neither.
  connect(this, &QSlider::actionTriggered, this, [this](int action) {
    if (action == SliderMove) return;  // the drag, handled below
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
