#pragma once

#include <QElapsedTimer>
#include <QSlider>
#include <QTimer>

namespace tavuno::ui {

// A horizontal 0...1 slider (in steps of 1 %) that talks to the service
// without loops or floods:
// - a value from the service never moves it while the user holds it;
// - a drag sends at most ~20 changes a second, and the final value on
//   release; keys, the wheel and clicks send at once;
// - a click on the groove jumps there (and goes on as a drag), as a
//   volume slider should, instead of stepping a page.
// The thumb so never rests on a value that was not sent.
class VolumeSlider : public QSlider {
  Q_OBJECT

 public:
  static constexpr int minimumIntervalMs = 50;

  explicit VolumeSlider(QWidget* parent = nullptr);

  // The published value; ignored while the slider is held.
  void showValue(float volume);
  float volume() const { return static_cast<float>(value()) / 100.0f; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 signals:
  // The user chose this volume.
  void volumeChosen(float volume);

 private:
  void userMoved(int value);
  void send();

  QElapsedTimer sinceSent_;
  QTimer trailing_;
  int pending_ = -1;
};

}  // namespace tavuno::ui
