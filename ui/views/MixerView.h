#pragma once

#include <QWidget>

namespace tavuno::ui {

class AppsView;
class DevicePicker;
class MeterFeed;
class ProfileSelector;
class ServiceBridge;
class VolumeView;

// The "Mixer" section: the active profile, the output volume, the default
// output and input side by side (the input with its volume, mute and level),
// and the applications with audio.
class MixerView : public QWidget {
  Q_OBJECT

 public:
  MixerView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent = nullptr);

  ProfileSelector* profiles() const { return profiles_; }
  VolumeView* volume() const { return volume_; }
  DevicePicker* output() const { return output_; }
  DevicePicker* input() const { return input_; }
  VolumeView* inputVolume() const { return inputVolume_; }
  AppsView* apps() const { return apps_; }

 private:
  ProfileSelector* profiles_;
  VolumeView* volume_;
  DevicePicker* output_;
  DevicePicker* input_;
  VolumeView* inputVolume_;
  AppsView* apps_;
};

}  // namespace tavuno::ui
