#include "ui/views/VolumeView.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno::ui {

VolumeView::VolumeView(ServiceBridge& bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      // The heading names the level; the speaker is the output and the mute button.
      icon_(makeSymbol("sliders", 18, colors::accent, this)),
      title_(makeLabel("heading", this)),
      value_(makeLabel("value", this)),
      mute_(makeIconButton(this)),
      slider_(new VolumeSlider(this)),
      caption_(makeLabel("caption", this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  auto* top = new QHBoxLayout;
  top->setSpacing(8);
  top->addWidget(icon_);
  top->addWidget(title_, 1);
  value_->setWordWrap(false);
  value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  top->addWidget(value_);
  layout->addLayout(top);
  auto* controls = new QHBoxLayout;
  controls->setSpacing(10);
  controls->addWidget(mute_);
  controls->addWidget(slider_, 1);
  layout->addLayout(controls);
  layout->addWidget(caption_);

  connect(mute_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->setMute(!service->state().muted);
  });
  connect(slider_, &VolumeSlider::volumeChosen, this, [this](float volume) {
    if (auto service = bridge_.service()) service->setVolume(volume);
  });
  followService(*this, bridge_,
                fieldBit(ServiceField::volume) | fieldBit(ServiceField::volumeAvailable) |
                    fieldBit(ServiceField::muted) | fieldBit(ServiceField::muteAvailable),
                [this] { render(); });
}

void VolumeView::render() {
  const auto& state = bridge_.state();
  title_->setText(tr("Volume de saída"));
  value_->setText(state.volumeAvailable ? qs(percentText(state.volume)) : tr("Indisponível"));
  mute_->setIcon(symbolIcon(state.muted ? "speaker-muted" : "speaker",
                            state.muted ? colors::warning : colors::text));
  mute_->setToolTip(state.muted ? tr("Reativar saída") : tr("Silenciar saída"));
  // A toggle to assistive technology: pressed while the output is muted.
  mute_->setAccessibleName(tr("Silenciar saída"));
  mute_->setCheckable(true);
  {
    const QSignalBlocker block(mute_);
    mute_->setChecked(state.muted);
  }
  mute_->setEnabled(state.muteAvailable);
  slider_->setEnabled(state.volumeAvailable);
  // Disabled, each says why.
  if (!state.muteAvailable)
    mute_->setToolTip(tr("A saída atual não oferece controle de silêncio."));
  slider_->setToolTip(state.volumeAvailable
                          ? QString()
                          : tr("O dispositivo atual não oferece controle de volume ao macOS."));
  slider_->setAccessibleName(tr("Volume de saída"));
  slider_->showValue(state.volume);
  setTextShown(caption_, state.volumeAvailable
                             ? QString()
                             : tr("O dispositivo atual não oferece controle de volume ao macOS."));
}

}  // namespace tavuno::ui
