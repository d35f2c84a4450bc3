#include "ui/views/MixerView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/views/AppsView.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/ProfileSelector.h"
#include "ui/views/VolumeView.h"
#include "ui/widgets/Card.h"

namespace tavuno::ui {

MixerView::MixerView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : QWidget(parent),
      profiles_(new ProfileSelector(bridge)),
      volume_(new VolumeView(bridge)),
      output_(new DevicePicker(bridge, false, DevicePicker::Role::systemDefault)),
      input_(new DevicePicker(bridge, true, DevicePicker::Role::systemDefault)),
      inputVolume_(new VolumeView(bridge, meters)),
      apps_(new AppsView(bridge, meters, false)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);

  auto* profileCard = new Card(this);
  auto* profileRow = new QHBoxLayout;
  profileRow->addWidget(profiles_, 1);
  profileRow->addStretch(1);
  profileCard->body()->addLayout(profileRow);
  layout->addWidget(profileCard);

  auto* volumeCard = new Card(this);
  volumeCard->body()->addWidget(volume_);
  layout->addWidget(volumeCard);

  auto* devices = new QHBoxLayout;
  devices->setSpacing(14);
  auto* outputCard = new Card(this);
  outputCard->body()->addWidget(output_);
  outputCard->body()->addStretch(1);
  devices->addWidget(outputCard, 1, Qt::AlignTop);
  // The microphone's level and controls under its picker.
  auto* inputCard = new Card(this);
  inputCard->body()->addWidget(input_);
  inputCard->body()->addWidget(makeDivider(this));
  inputCard->body()->addWidget(inputVolume_);
  devices->addWidget(inputCard, 1, Qt::AlignTop);
  layout->addLayout(devices);

  auto* appsCard = new Card(this);
  appsCard->body()->addWidget(apps_);
  layout->addWidget(appsCard);
  layout->addStretch(1);
}

}  // namespace tavuno::ui
