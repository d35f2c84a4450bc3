#include "ui/views/DevicesView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/DeviceList.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/FollowService.h"
#include "ui/views/InputLevelView.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Switch.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

DevicesView::DevicesView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      outputs_(new DeviceList(bridge, false)),
      inputs_(new DeviceList(bridge, true)),
      inputLevel_(new InputLevelView(bridge, meters)),
      levelTitle_(makeLabel("caption")),
      heading_(makeLabel("heading")),
      preferredOutput_(new DevicePicker(bridge, false, DevicePicker::Role::preferred)),
      preferredInput_(new DevicePicker(bridge, true, DevicePicker::Role::preferred)),
      automatic_(new Switch),
      caption_(makeLabel("caption")),
      useBoth_(new QPushButton) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);
  auto* lists = new QHBoxLayout;
  lists->setSpacing(14);
  for (auto* list : {outputs_, inputs_}) {
    auto* card = new Card(this);
    card->body()->addWidget(list);
    // What the default input hears, under the inputs.
    if (list == inputs_) {
      card->body()->addWidget(makeDivider(this));
      card->body()->addWidget(levelTitle_);
      card->body()->addWidget(inputLevel_);
    }
    card->body()->addStretch(1);
    lists->addWidget(card, 1);
  }
  layout->addLayout(lists);

  auto* preferred = new Card(this);
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(makeSymbol("headphones", 18, colors::accent, this));
  head->addWidget(heading_, 1);
  preferred->body()->addLayout(head);
  auto* pickers = new QHBoxLayout;
  pickers->setSpacing(14);
  pickers->addWidget(preferredOutput_, 1);
  pickers->addWidget(preferredInput_, 1);
  preferred->body()->addLayout(pickers);
  preferred->body()->addWidget(makeDivider(this));
  preferred->body()->addWidget(automatic_);
  preferred->body()->addWidget(caption_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(useBoth_);
  buttons->addStretch(1);
  preferred->body()->addLayout(buttons);
  layout->addWidget(preferred);
  layout->addStretch(1);

  connect(automatic_, &Switch::clicked, this, [this](bool on) {
    if (auto service = bridge_.service()) service->setAutomatic(on);
  });
  connect(useBoth_, &QPushButton::clicked, this, [this] {
    auto service = bridge_.service();
    if (!service) return;
    if (auto device = useBothCandidate(service->state())) service->useBoth(*device);
  });
  followService(*this, bridge_,
                fieldBit(ServiceField::automatic) | fieldBit(ServiceField::devices) |
                    fieldBit(ServiceField::preferredUID),
                [this] { render(); });
}

void DevicesView::render() {
  const auto& state = bridge_.state();
  heading_->setText(tr("Headset preferido"));
  levelTitle_->setText(tr("Nível de entrada"));
  automatic_->setText(tr("Alternar automaticamente e restaurar ao reconectar"));
  automatic_->setAccessibleName(automatic_->text());
  {
    const QSignalBlocker block(automatic_);
    automatic_->setChecked(state.automatic);
  }
  caption_->setText(tr(
      "Ao escolher um headset Bluetooth identificado sem ambiguidade, sua entrada correspondente também é selecionada. Quando indisponível, o Tavuno tenta usar os dispositivos internos. A seleção manual pode ser substituída na próxima mudança de conexão."));
  useBoth_->setText(tr("Usar dispositivo preferido como entrada e saída"));
  useBoth_->setVisible(useBothCandidate(state).has_value());
}

}  // namespace tavuno::ui
