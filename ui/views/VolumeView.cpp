#include "ui/views/VolumeView.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/InputLevelView.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno::ui {

// What differs between the output's view and the input's: the fields it
// shows, the operations it calls, its symbols and texts (textKey()s).
struct VolumeView::Side {
  float ServiceState::*volume;
  bool ServiceState::*volumeAvailable;
  bool ServiceState::*muted;
  bool ServiceState::*muteAvailable;
  quint64 fields;
  bool (*setVolume)(AudioService&, float);
  bool (*setMute)(AudioService&, bool);
  const char* symbol;
  const char* mutedSymbol;
  const char* title;
  const char* mute;
  const char* unmute;
  const char* noMute;
  const char* noVolume;
};

namespace {

const VolumeView::Side outputSide{
    &ServiceState::volume,
    &ServiceState::volumeAvailable,
    &ServiceState::muted,
    &ServiceState::muteAvailable,
    fieldBit(ServiceField::volume) | fieldBit(ServiceField::volumeAvailable) |
        fieldBit(ServiceField::muted) | fieldBit(ServiceField::muteAvailable),
    [](AudioService& service, float volume) { return service.setVolume(volume); },
    [](AudioService& service, bool muted) { return service.setMute(muted); },
    "speaker",
    "speaker-muted",
    textKey("Volume de saída"),
    textKey("Silenciar saída"),
    textKey("Reativar saída"),
    textKey("A saída atual não oferece controle de silêncio."),
    textKey("O dispositivo atual não oferece controle de volume ao macOS."),
};

const VolumeView::Side inputSide{
    &ServiceState::inputVolume,
    &ServiceState::inputVolumeAvailable,
    &ServiceState::inputMuted,
    &ServiceState::inputMuteAvailable,
    fieldBit(ServiceField::inputVolume) | fieldBit(ServiceField::inputVolumeAvailable) |
        fieldBit(ServiceField::inputMuted) | fieldBit(ServiceField::inputMuteAvailable),
    [](AudioService& service, float volume) { return service.setInputVolume(volume); },
    [](AudioService& service, bool muted) { return service.setInputMute(muted); },
    "mic",
    "mic-muted",
    textKey("Volume de entrada"),
    textKey("Silenciar entrada"),
    textKey("Reativar entrada"),
    textKey("O microfone atual não oferece controle de silêncio."),
    textKey("O microfone atual não oferece controle de volume."),
};

}  // namespace

VolumeView::VolumeView(ServiceBridge& bridge, QWidget* parent)
    : VolumeView(bridge, outputSide, nullptr, parent) {}

VolumeView::VolumeView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : VolumeView(bridge, inputSide, &meters, parent) {}

VolumeView::VolumeView(ServiceBridge& bridge, const Side& side, MeterFeed* meters, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      side_(side),
      // The heading names the level; the device's symbol is the mute button.
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
  // The input's meter right under its slider, above the caption.
  if (meters) {
    level_ = new InputLevelView(bridge, *meters, this);
    layout->addWidget(level_);
  }
  layout->addWidget(caption_);

  connect(mute_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) side_.setMute(*service, !(service->state().*side_.muted));
  });
  connect(slider_, &VolumeSlider::volumeChosen, this, [this](float volume) {
    if (auto service = bridge_.service()) side_.setVolume(*service, volume);
  });
  followService(*this, bridge_, side_.fields, [this] { render(); });
}

void VolumeView::render() {
  const auto& state = bridge_.state();
  const float volume = state.*side_.volume;
  const bool volumeAvailable = state.*side_.volumeAvailable;
  const bool muted = state.*side_.muted;
  const bool muteAvailable = state.*side_.muteAvailable;
  title_->setText(tr(side_.title));
  value_->setText(volumeAvailable ? qs(percentText(volume)) : tr("Indisponível"));
  mute_->setIcon(
      symbolIcon(muted ? side_.mutedSymbol : side_.symbol, muted ? colors::warning : colors::text));
  mute_->setToolTip(muted ? tr(side_.unmute) : tr(side_.mute));
  // A toggle to assistive technology: pressed while muted.
  mute_->setAccessibleName(tr(side_.mute));
  mute_->setCheckable(true);
  {
    const QSignalBlocker block(mute_);
    mute_->setChecked(muted);
  }
  mute_->setEnabled(muteAvailable);
  slider_->setEnabled(volumeAvailable);
  // Disabled, each says why.
  if (!muteAvailable) mute_->setToolTip(tr(side_.noMute));
  slider_->setToolTip(volumeAvailable ? QString() : tr(side_.noVolume));
  slider_->setAccessibleName(tr(side_.title));
  slider_->showValue(volume);
  setTextShown(caption_, volumeAvailable ? QString() : tr(side_.noVolume));
}

}  // namespace tavuno::ui
