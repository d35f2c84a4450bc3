#include "ui/views/DevicePicker.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/PickerEntries.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

DevicePicker::DevicePicker(ServiceBridge& bridge, bool input, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      input_(input),
      title_(makeLabel("heading", this)),
      box_(new PickerBox(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  auto* top = new QHBoxLayout;
  top->setSpacing(8);
  top->addWidget(makeSymbol(input ? "mic" : "speaker", 18, colors::accent, this));
  top->addWidget(title_, 1);
  layout->addLayout(top);
  layout->addWidget(box_);
  connect(box_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    if (auto service = bridge_.service(); service && entry.id != 0)
      service->setDefault(entry.id, input_);
  });
  connect(&bridge_, &ServiceBridge::changed, this, [this](quint64 fields) {
    if (fields & (fieldBit(ServiceField::devices) | fieldBit(ServiceField::defaultInput) |
                  fieldBit(ServiceField::defaultOutput)))
      render();
  });
  render();
}

void DevicePicker::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) render();
  QWidget::changeEvent(event);
}

void DevicePicker::render() {
  const auto& state = bridge_.state();
  title_->setText(input_ ? tr("Entrada") : tr("Saída"));
  box_->setAccessibleName(title_->text());
  box_->present(defaultDevicePicker(state.devices, input_,
                                    input_ ? state.defaultInput : state.defaultOutput));
}

}  // namespace tavuno::ui
