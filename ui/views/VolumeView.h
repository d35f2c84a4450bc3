#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class ServiceBridge;
class VolumeSlider;

// The output volume and mute of the default output: label and percentage,
// a mute button and a slider; the slider is disabled, with a caption, when
// the output offers no volume control.
class VolumeView : public QWidget {
  Q_OBJECT

 public:
  explicit VolumeView(ServiceBridge& bridge, QWidget* parent = nullptr);

  VolumeSlider* slider() const { return slider_; }
  QPushButton* muteButton() const { return mute_; }

 private:
  void render();

  ServiceBridge& bridge_;
  QLabel* icon_;
  QLabel* title_;
  QLabel* value_;
  QPushButton* mute_;
  VolumeSlider* slider_;
  QLabel* caption_;
};

}  // namespace tavuno::ui
