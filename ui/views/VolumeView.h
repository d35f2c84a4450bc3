#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class InputLevelView;
class MeterFeed;
class ServiceBridge;
class VolumeSlider;

// The volume and mute of the default output, or of the default input: label
// and percentage, a mute button and a slider; the slider is disabled, with a
// caption, when the device offers no volume control. The input's also shows
// its level meter.
class VolumeView : public QWidget {
  Q_OBJECT

 public:
  // The output's.
  explicit VolumeView(ServiceBridge& bridge, QWidget* parent = nullptr);
  // The input's, with its meter.
  VolumeView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);

  VolumeSlider* slider() const { return slider_; }
  QPushButton* muteButton() const { return mute_; }
  // Null on the output's.
  InputLevelView* level() const { return level_; }

  struct Side;

 private:
  VolumeView(ServiceBridge& bridge, const Side& side, MeterFeed* meters, QWidget* parent);
  void render();

  ServiceBridge& bridge_;
  const Side& side_;
  QLabel* icon_;
  QLabel* title_;
  QLabel* value_;
  QPushButton* mute_;
  VolumeSlider* slider_;
  QLabel* caption_;
  InputLevelView* level_ = nullptr;
};

}  // namespace tavuno::ui
