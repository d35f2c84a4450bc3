#include "ui/views/InputLevelView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bridge/MeterFeed.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/LevelMeter.h"

namespace tavuno::ui {

InputLevelView::InputLevelView(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      meters_(meters),
      meter_(new LevelMeter(this)),
      test_(new QPushButton(this)),
      caption_(makeLabel("caption", this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  row->addWidget(meter_, 1, Qt::AlignVCenter);
  // As wide as its text: alone on the row it stays at the left.
  test_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  row->addWidget(test_, 0, Qt::AlignLeft);
  layout->addLayout(row);
  layout->addWidget(caption_);

  connect(test_, &QPushButton::clicked, this, [this] {
    auto service = bridge_.service();
    if (!service) return;
    service->setInputMeterTesting(service->state().inputMeter != InputMeterStatus::testing);
  });
  connect(&meters_, &MeterFeed::levelsChanged, this,
          [this] { meter_->setLevel(meters_.inputLevel()); });
  followService(*this, bridge_, fieldBit(ServiceField::inputMeter), [this] { render(); });
}

InputLevelView::~InputLevelView() {
  if (metering_) meters_.releaseInput();
}

void InputLevelView::showEvent(QShowEvent* event) {
  if (!metering_) {
    metering_ = true;
    meters_.acquireInput();
  }
  QWidget::showEvent(event);
}

void InputLevelView::hideEvent(QHideEvent* event) {
  if (metering_) {
    metering_ = false;
    meters_.releaseInput();
  }
  QWidget::hideEvent(event);
}

void InputLevelView::render() {
  const InputMeterStatus status = bridge_.state().inputMeter;
  const bool awaiting = status == InputMeterStatus::awaitingTest;
  const bool testing = status == InputMeterStatus::testing;
  meter_->setAccessibleName(tr("Nível de entrada"));
  // The bar stays in place while off (nothing shown yet, or no input), so
  // the card does not jump when the meter starts.
  meter_->setVisible(!awaiting && status != InputMeterStatus::unavailable);
  if (!testing && status != InputMeterStatus::live) meter_->setLevel(0);
  test_->setVisible(awaiting || testing);
  test_->setText(testing ? tr("Parar teste") : tr("Testar"));
  test_->setAccessibleName(testing ? tr("Parar o teste do microfone") : tr("Testar o microfone"));
  QString caption;
  if (awaiting || testing)
    caption = tr("Medir um microfone Bluetooth muda o fone para o modo de chamada.");
  else if (status == InputMeterStatus::unavailable)
    caption = tr("Não foi possível medir o nível do microfone.");
  setTextShown(caption_, caption);
}

}  // namespace tavuno::ui
