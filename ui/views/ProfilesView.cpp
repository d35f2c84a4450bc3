#include "ui/views/ProfilesView.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "profiles/ProfileName.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ProfileRow.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ProfilesView::ProfilesView(ServiceBridge& bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      saveHeading_(makeLabel("heading")),
      saveCaption_(makeLabel("caption")),
      field_(new QLineEdit),
      save_(new QPushButton),
      listHeading_(makeLabel("heading")),
      empty_(makeLabel("caption")),
      list_(new QVBoxLayout),
      rows_(list_) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);

  auto* saveCard = new Card(this);
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(makeSymbol("stack", 18, colors::accent, this));
  head->addWidget(saveHeading_, 1);
  saveCard->body()->addLayout(head);
  saveCard->body()->addWidget(saveCaption_);
  auto* form = new QHBoxLayout;
  form->setSpacing(10);
  form->addWidget(field_, 1);
  save_->setProperty("primary", true);
  form->addWidget(save_);
  saveCard->body()->addLayout(form);
  layout->addWidget(saveCard);

  auto* listCard = new Card(this);
  auto* listHead = new QHBoxLayout;
  listHead->setSpacing(8);
  listHead->addWidget(makeSymbol("profile", 18, colors::accent, this));
  listHead->addWidget(listHeading_, 1);
  listCard->body()->addLayout(listHead);
  listCard->body()->addWidget(empty_);
  list_->setSpacing(8);
  listCard->body()->addLayout(list_);
  layout->addWidget(listCard);
  layout->addStretch(1);

  connect(save_, &QPushButton::clicked, this, &ProfilesView::save);
  connect(field_, &QLineEdit::returnPressed, this, &ProfilesView::save);
  followService(*this, bridge_,
                fieldBit(ServiceField::profiles) | fieldBit(ServiceField::activeProfileID) |
                    fieldBit(ServiceField::devices),
                [this] { render(); });
}

void ProfilesView::save() {
  auto service = bridge_.service();
  if (!service) return;
  const std::string name = field_->text().toStdString();
  service->saveProfile(name);
  // A blank name is left as typed; the service says what is missing.
  if (!trimmedProfileName(name).empty()) field_->clear();
}

void ProfilesView::render() {
  const auto& state = bridge_.state();
  saveHeading_->setText(tr("Salvar configuração atual"));
  saveCaption_->setText(tr("Guarda entrada, saída, volume geral e ajustes de aplicativos."));
  field_->setPlaceholderText(tr("Nome do perfil"));
  field_->setAccessibleName(tr("Nome do perfil"));
  save_->setText(tr("Salvar"));
  listHeading_->setText(tr("Seus perfis"));
  empty_->setText(tr("Nenhum perfil salvo."));
  empty_->setVisible(state.profiles.empty());
  std::vector<std::string> keys;
  for (const auto& profile : state.profiles)
    keys.push_back(profile.id.text());
  rows_.sync(keys, [this](const std::string&) { return new ProfileRow(bridge_, this); });
  for (const auto& profile : state.profiles)
    rows_.find(profile.id.text())->render(profile, state);
}

}  // namespace tavuno::ui
