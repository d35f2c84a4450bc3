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
  for (auto* picker : {output_, input_}) {
    auto* card = new Card(this);
    card->body()->addWidget(picker);
    card->body()->addStretch(1);
    devices->addWidget(card, 1, Qt::AlignTop);
  }
  layout->addLayout(devices);

  auto* appsCard = new Card(this);
  appsCard->body()->addWidget(apps_);
  layout->addWidget(appsCard);
  layout->addStretch(1);
}

}  // namespace tavuno::ui
