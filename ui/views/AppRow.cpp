#include "ui/views/AppRow.h"

#include "engine/AppRoute.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/AppRowStatus.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/PickerEntries.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/AppIcons.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno::ui {

AppRow::AppRow(ServiceBridge& bridge, bool compact, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      icon_(makeSymbol("app", 28, QColor(120, 140, 180), this)),
      name_(new ElidedLabel(this)),
      caption_(makeLabel("caption", this)),
      start_(new QPushButton(this)),
      retry_(new QPushButton(this)),
      stop_(new QPushButton(this)),
      mute_(makeIconButton(this)),
      slider_(new VolumeSlider(this)),
      percent_(makeLabel("value", this)),
      output_(new PickerBox(this)),
      meter_(new LevelMeter(this)) {
  name_->setFont(pixelFont(14, QFont::DemiBold));
  name_->setTextFormat(Qt::PlainText);
  percent_->setWordWrap(false);
  percent_->setMinimumWidth(QFontMetrics(percent_->font()).horizontalAdvance("100%") + 4);
  percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  start_->setProperty("primary", true);
  for (auto* button : {start_, retry_, stop_})
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  output_->setMinimumContentsLength(compact ? 10 : 14);

  // Icon column, then the text and controls column.
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 6, 0, 6);
  layout->setSpacing(12);
  layout->addWidget(icon_, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  layout->addLayout(column, 1);

  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  auto* names = new QVBoxLayout;
  names->setSpacing(1);
  names->addWidget(name_);
  names->addWidget(caption_);
  head->addLayout(names, 1);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(6);
  for (auto* button : {start_, retry_, stop_})
    buttons->addWidget(button);
  if (compact) {
    column->addLayout(head);
    column->addLayout(buttons);
    buttons->addStretch(1);
  } else {
    head->addLayout(buttons);
    column->addLayout(head);
  }

  auto* mix = new QHBoxLayout;
  mix->setSpacing(10);
  mix->addWidget(mute_);
  auto* levels = new QVBoxLayout;
  levels->setSpacing(2);
  levels->addWidget(slider_);
  levels->addWidget(meter_);
  meter_->setContentsMargins(0, 0, 0, 0);
  mix->addLayout(levels, 1);
  mix->addWidget(percent_);
  if (compact) {
    column->addLayout(mix);
    column->addWidget(output_);
  } else {
    output_->setFixedWidth(220);
    mix->addSpacing(6);
    mix->addWidget(output_);
    column->addLayout(mix);
  }

  connect(mute_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service())
      service->setAppMix(app_, std::nullopt, !service->settings(app_.id).muted());
  });
  connect(slider_, &VolumeSlider::volumeChosen, this, [this](float volume) {
    percent_->setText(qs(percentText(volume)));
    if (auto service = bridge_.service()) service->setAppMix(app_, volume, std::nullopt);
  });
  connect(output_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    if (auto service = bridge_.service()) service->setAppOutput(app_, entry.uid);
  });
  connect(start_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->startApp(app_);
  });
  connect(retry_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->retryApp(app_);
  });
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->stopApp(app_.id);
  });
}

void AppRow::render(const ActiveApp& app, const ServiceState& state) {
  app_ = app;
  const QString name = qs(app.name);
  name_->setText(name);
  renderIcon();
  const AppRowStatus status = appRowStatus(state, app);
  setTextShown(caption_, status.caption ? tr(status.caption) : QString());
  setRole(caption_, status.tone == CaptionTone::warning ? "warning" : "caption");
  caption_->setToolTip(status.help ? tr(status.help) : QString());
  start_->setText(tr("Ativar controle"));
  retry_->setText(tr("Tentar novamente"));
  stop_->setText(tr("Desativar"));
  // Repeated on every row: the accessible names say whose.
  for (auto* button : {start_, retry_, stop_})
    button->setAccessibleName(button->text() + QLatin1Char(' ') + name);
  start_->setVisible(status.offerStart);
  retry_->setVisible(status.offerRetry);
  stop_->setVisible(status.offerStop);

  const AppMix mix = mixFor(state.appSettings, app.id);
  mute_->setIcon(symbolIcon(mix.muted() ? "speaker-muted" : "speaker",
                            mix.muted() ? colors::warning : colors::text));
  mute_->setToolTip(mix.muted() ? tr("Reativar áudio") : tr("Silenciar áudio"));
  mute_->setAccessibleName(
      qs(mix.muted() ? trf("Reativar áudio de %@", app.name) : trf("Silenciar %@", app.name)));
  slider_->setAccessibleName(tr("Volume de ") + name);
  slider_->showValue(mix.volume());
  if (!slider_->isSliderDown()) percent_->setText(qs(percentText(mix.volume())));
  output_->setAccessibleName(tr("Saída de ") + name);
  output_->present(appOutputPicker(state.devices, AppRoute::shownOutput(mix, app.ownOutputUID)));
  meter_->setAccessibleName(tr("Nível de ") + name);
  if (!state.controlledApps.count(app.id)) meter_->setLevel(0);
}

void AppRow::renderIcon() {
  constexpr int size = 28;
  const QIcon icon = bridge_.appIcons() ? bridge_.appIcons()->icon(app_.id) : QIcon();
  const qint64 key = icon.isNull() ? 0 : icon.cacheKey();
  if (key == iconKey_) return;
  iconKey_ = key;
  const qreal ratio = icon_->devicePixelRatioF();
  if (icon.isNull())
    icon_->setPixmap(symbol("app", size, QColor(120, 140, 180), ratio));
  else
    icon_->setPixmap(icon.pixmap(QSize(size, size), ratio));
}

void AppRow::setLevel(double level) {
  meter_->setLevel(level);
}

}  // namespace tavuno::ui
