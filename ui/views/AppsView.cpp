#include "ui/views/AppsView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/bridge/MeterFeed.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/AppRow.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {

// Everything a row shows.
constexpr quint64 rowFields =
    fieldBit(ServiceField::activeApps) | fieldBit(ServiceField::appSettings) |
    fieldBit(ServiceField::devices) | fieldBit(ServiceField::controlledApps) |
    fieldBit(ServiceField::passthroughApps) | fieldBit(ServiceField::startingApps) |
    fieldBit(ServiceField::stalledStarts) | fieldBit(ServiceField::quarantinedApps) |
    fieldBit(ServiceField::desiredApps) | fieldBit(ServiceField::controlPreferences);

QVBoxLayout* makeList() {
  auto* list = new QVBoxLayout;
  list->setContentsMargins(0, 0, 0, 0);
  list->setSpacing(4);
  return list;
}

}  // namespace

AppsView::AppsView(ServiceBridge& bridge, MeterFeed& meters, bool compact, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      meters_(meters),
      compact_(compact),
      heading_(makeLabel("heading", this)),
      empty_(makeLabel("caption", this)),
      caption_(makeLabel("caption", this)),
      list_(makeList()),
      rows_(list_) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(makeSymbol("waveform", 18, colors::accent, this));
  head->addWidget(heading_, 1);
  layout->addLayout(head);
  layout->addWidget(caption_);
  layout->addWidget(empty_);
  layout->addLayout(list_);
  caption_->setVisible(!compact_);

  connect(&meters_, &MeterFeed::levelsChanged, this, &AppsView::updateLevels);
  followService(*this, bridge_, rowFields, [this] { render(); });
}

AppsView::~AppsView() {
  if (metering_) meters_.release();
}

void AppsView::showEvent(QShowEvent* event) {
  if (!metering_) {
    metering_ = true;
    meters_.acquire();
  }
  QWidget::showEvent(event);
}

void AppsView::hideEvent(QHideEvent* event) {
  if (metering_) {
    metering_ = false;
    meters_.release();
  }
  QWidget::hideEvent(event);
}

void AppsView::render() {
  const auto& state = bridge_.state();
  heading_->setText(tr("Aplicativos com áudio ativo"));
  caption_->setText(tr(
      "O controle solicita acesso ao áudio do sistema. Após mudança de saída ou processo, o Tavuno tenta retomá-lo."));
  empty_->setText(tr("Nenhum aplicativo detectado com áudio ativo."));
  const bool none = state.activeApps.empty();
  empty_->setVisible(none);
  caption_->setVisible(!compact_ && !none);
  std::vector<std::string> keys;
  for (const auto& app : state.activeApps)
    keys.push_back(app.id);
  rows_.sync(keys, [this](const std::string&) { return new AppRow(bridge_, compact_, this); });
  for (const auto& app : state.activeApps)
    rows_.find(app.id)->render(app, state);
  updateLevels();
}

void AppsView::updateLevels() {
  for (const auto& app : bridge_.state().activeApps)
    if (auto* row = rows_.find(app.id)) row->setLevel(meters_.level(app.id));
}

}  // namespace tavuno::ui
