#include "ui/views/DevicePicker.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/PickerEntries.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

DevicePicker::DevicePicker(ServiceBridge& bridge, bool input, Role role, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      input_(input),
      role_(role),
      title_(makeLabel(role == Role::preferred ? "caption" : "heading", this)),
      box_(new PickerBox(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (role_ == Role::preferred) {
    // A setting inside the preferred headset's card: a caption, as its other settings have.
    layout->setSpacing(6);
    layout->addWidget(title_);
  } else {
    layout->setSpacing(8);
    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(makeSymbol(input ? "mic" : "speaker", 18, colors::accent, this));
    top->addWidget(title_, 1);
    layout->addLayout(top);
  }
  layout->addWidget(box_);
  connect(box_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    auto service = bridge_.service();
    if (!service) return;
    if (role_ == Role::systemDefault) {
      if (entry.id != 0) service->setDefault(entry.id, input_);
      return;
    }
    // "Nenhum" carries no UID: it clears the preference.
    const std::string uid = entry.uid.value_or(std::string());
    if (input_)
      service->setPreferredInputUID(uid);
    else
      service->setPreferredOutput(uid);
  });
  const quint64 shown =
      fieldBit(ServiceField::devices) |
      (role_ == Role::preferred
           ? fieldBit(ServiceField::preferredUID) | fieldBit(ServiceField::preferredInputUID)
           : fieldBit(ServiceField::defaultInput) | fieldBit(ServiceField::defaultOutput));
  followService(*this, bridge_, shown, [this] { render(); });
}

void DevicePicker::render() {
  const auto& state = bridge_.state();
  const bool preferred = role_ == Role::preferred;
  if (preferred)
    title_->setText(input_ ? tr("Entrada preferida") : tr("Saída preferida"));
  else
    title_->setText(input_ ? tr("Entrada") : tr("Saída"));
  box_->setAccessibleName(title_->text());
  box_->present(preferred
                    ? preferredDevicePicker(state.devices, input_,
                                            input_ ? state.preferredInputUID : state.preferredUID)
                    : defaultDevicePicker(state.devices, input_,
                                          input_ ? state.defaultInput : state.defaultOutput));
}

}  // namespace tavuno::ui
