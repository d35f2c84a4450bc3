#include "ui/views/ProfileSelector.h"

#include <QHBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ProfileTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ProfileSelector::ProfileSelector(ServiceBridge& bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      title_(makeLabel("heading", this)),
      box_(new PickerBox(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  layout->addWidget(makeSymbol("profile", 18, colors::accent, this));
  title_->setWordWrap(false);
  layout->addWidget(title_);
  layout->addWidget(box_, 1);
  connect(box_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    auto service = bridge_.service();
    if (!service || !entry.uid) return;
    if (const auto* profile = findProfile(service->state().profiles, *entry.uid))
      service->applyProfile(*profile);
  });
  followService(*this, bridge_,
                fieldBit(ServiceField::profiles) | fieldBit(ServiceField::activeProfileID),
                [this] { render(); });
}

void ProfileSelector::render() {
  const auto& state = bridge_.state();
  title_->setText(tr("Perfil ativo"));
  box_->setAccessibleName(title_->text());
  const Picker picker = profilePicker(
      state.profiles,
      state.activeProfileID ? std::optional(state.activeProfileID->text()) : std::nullopt, false);
  box_->present(picker);
  box_->setEnabled(!picker.entries.empty());
}

}  // namespace tavuno::ui
