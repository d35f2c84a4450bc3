#pragma once

#include <string>

#include <QWidget>

#include "engine/ActiveApp.h"
#include "service/ServiceState.h"

class QLabel;
class QPushButton;

namespace tavuno::ui {

class LevelMeter;
class PickerBox;
class ServiceBridge;
class VolumeSlider;

// One application of the mixer: icon, name, status caption and control
// buttons, then its mute button, volume slider, percentage, output picker
// and level meter. Kept for as long as the application is listed and
// updated in place.
class AppRow : public QWidget {
  Q_OBJECT

 public:
  AppRow(ServiceBridge& bridge, bool compact, QWidget* parent = nullptr);

  void render(const ActiveApp& app, const ServiceState& state);
  void setLevel(double level);

  const ActiveApp& app() const { return app_; }
  QPushButton* muteButton() const { return mute_; }
  VolumeSlider* slider() const { return slider_; }
  PickerBox* outputBox() const { return output_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* retryButton() const { return retry_; }
  QPushButton* stopButton() const { return stop_; }
  QLabel* caption() const { return caption_; }
  QLabel* icon() const { return icon_; }
  LevelMeter* meter() const { return meter_; }

 private:
  void renderIcon();

  ServiceBridge& bridge_;
  ActiveApp app_;
  QLabel* icon_;
  qint64 iconKey_ = 0;  // of the icon shown; 0 for the generic one
  QLabel* name_;
  QLabel* caption_;
  QPushButton* start_;
  QPushButton* retry_;
  QPushButton* stop_;
  QPushButton* mute_;
  VolumeSlider* slider_;
  QLabel* percent_;
  PickerBox* output_;
  LevelMeter* meter_;
};

}  // namespace tavuno::ui
