#include "ui/views/AutomationsView.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ProfileTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/HistoryList.h"
#include "ui/views/RuleList.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/AppIcons.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TimeField.h"

namespace tavuno::ui {

namespace {

enum Panel { devicePanel = 0, appPanel = 1, timePanel = 2 };

// A labelled control of a creation panel: the caption above the control.
QVBoxLayout* field(QLabel* label, QWidget* control) {
  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  column->addWidget(label);
  column->addWidget(control);
  return column;
}

// The rows' actions of one kind of rule: the service's toggle, move and
// delete for that kind.
RuleActions actionsOf(ServiceBridge& bridge, void (AudioService::*toggle)(const Uuid&),
                      void (AudioService::*move)(const Uuid&, std::int64_t),
                      void (AudioService::*remove)(const Uuid&)) {
  RuleActions actions;
  actions.toggle = [&bridge, toggle](const Uuid& id) {
    if (auto service = bridge.service()) (*service.*toggle)(id);
  };
  actions.move = [&bridge, move](const Uuid& id, int offset) {
    if (auto service = bridge.service()) (*service.*move)(id, offset);
  };
  actions.remove = [&bridge, remove](const Uuid& id) {
    if (auto service = bridge.service()) (*service.*remove)(id);
  };
  return actions;
}

std::optional<Uuid> uuidOf(const std::optional<std::string>& text) {
  return text ? Uuid::parse(*text) : std::nullopt;
}

// Keeps a choice only while its picker still lists it.
void keepListed(std::optional<std::string>& choice, const Picker& picker) {
  if (picker.selected <= 0) choice.reset();
}

}  // namespace

AutomationsView::AutomationsView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      bridge_(context.service),
      device_(new PickerBox),
      app_(new PickerBox),
      time_(new TimeField),
      connectionHeading_(makeLabel("heading")) {
  for (auto*& label : fieldLabels_)
    label = makeLabel("caption");
  for (int i = 0; i < 3; ++i) {
    profilePickers_[i] = new PickerBox;
    creates_[i] = new QPushButton;
    creates_[i]->setProperty("primary", true);
  }
  headings_[3] = makeLabel("heading");

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);

  connectionRules_ =
      new RuleList("plug", actionsOf(bridge_, &AudioService::toggleRule, &AudioService::moveRule,
                                     &AudioService::deleteRule));
  RuleActions launch = actionsOf(bridge_, &AudioService::toggleLaunchRule,
                                 &AudioService::moveLaunchRule, &AudioService::deleteLaunchRule);
  launch.icon = [this](const RuleRowText& rule) { return context_.icons.icon(rule.key); };
  launchRules_ = new RuleList("app", std::move(launch));
  scheduledRules_ = new RuleList(
      "clock", actionsOf(bridge_, &AudioService::toggleScheduledRule,
                         &AudioService::moveScheduledRule, &AudioService::deleteScheduledRule));

  const char* icons[] = {"plug", "app", "clock"};
  QWidget* firsts[] = {device_, app_, time_};
  RuleList* lists[] = {connectionRules_, launchRules_, scheduledRules_};
  for (int panel = 0; panel < 3; ++panel) {
    auto* card = makePanel(icons[panel], headings_[panel], captions_[panel]);
    auto* form = new QHBoxLayout;
    form->setSpacing(12);
    form->addLayout(field(fieldLabels_[panel * 2], firsts[panel]), 1);
    form->addLayout(field(fieldLabels_[panel * 2 + 1], profilePickers_[panel]), 1);
    form->addWidget(creates_[panel], 0, Qt::AlignBottom);
    card->body()->addLayout(form);
    card->body()->addSpacing(2);
    card->body()->addWidget(makeDivider(this));
    if (panel == devicePanel) card->body()->addWidget(connectionHeading_);
    card->body()->addWidget(lists[panel]);
    layout->addWidget(card);
  }
  auto* historyCard = new Card(this);
  auto* historyHead = new QHBoxLayout;
  historyHead->setSpacing(8);
  historyHead->addWidget(makeSymbol("bolt", 18, colors::accent, this));
  historyHead->addWidget(headings_[3], 1);
  historyCard->body()->addLayout(historyHead);
  history_ = new HistoryList(bridge_);
  historyCard->body()->addWidget(history_);
  layout->addWidget(historyCard);
  layout->addStretch(1);

  time_->setTime(QTime(QTime::currentTime().hour(), QTime::currentTime().minute()));
  app_->setIcons([this](const PickerEntry& entry) {
    return entry.uid ? context_.icons.icon(*entry.uid) : QIcon();
  });

  // The user's choices (activated), never a refill.
  connect(device_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    deviceUID_ = entry.uid;
    updateButtons();
  });
  connect(app_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    launchAppID_ = entry.uid;
    updateButtons();
  });
  for (int panel = 0; panel < 3; ++panel)
    connect(profilePickers_[panel], &PickerBox::chosen, this, [this, panel](const PickerEntry& e) {
      profileIDs_[panel] = e.uid;
      updateButtons();
    });
  connect(creates_[devicePanel], &QPushButton::clicked, this, [this] {
    auto service = bridge_.service();
    auto profile = uuidOf(profileIDs_[devicePanel]);
    if (service && deviceUID_ && profile) service->addRule(*deviceUID_, *profile);
  });
  connect(creates_[appPanel], &QPushButton::clicked, this, [this] {
    auto service = bridge_.service();
    auto profile = uuidOf(profileIDs_[appPanel]);
    if (service && launchAppID_ && profile) service->addLaunchRule(*launchAppID_, *profile);
  });
  connect(creates_[timePanel], &QPushButton::clicked, this, [this] {
    auto service = bridge_.service();
    auto profile = uuidOf(profileIDs_[timePanel]);
    const QTime time = time_->time();
    if (service && profile) service->addScheduledRule(time.hour(), time.minute(), *profile);
  });
  connect(&bridge_, &ServiceBridge::changed, this, &AutomationsView::render);
  renderTexts();
  render(~quint64{0});
}

Card* AutomationsView::makePanel(const char* icon, QLabel*& heading, QLabel*& caption) {
  auto* card = new Card(this);
  heading = makeLabel("heading");
  caption = makeLabel("caption");
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(makeSymbol(icon, 18, colors::accent, this));
  head->addWidget(heading, 1);
  card->body()->addLayout(head);
  card->body()->addWidget(caption);
  return card;
}

void AutomationsView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) {
    renderTexts();
    render(~quint64{0});
  }
  QWidget::changeEvent(event);
}

void AutomationsView::renderTexts() {
  headings_[devicePanel]->setText(tr("Ao conectar um dispositivo"));
  captions_[devicePanel]->setText(tr(
      "As regras seguem a ordem exibida. A primeira regra válida tem prioridade sobre a troca automática de dispositivos."));
  headings_[appPanel]->setText(tr("Ao abrir um aplicativo"));
  captions_[appPanel]->setText(tr(
      "Escolha um aplicativo aberto. Regras de conexão têm prioridade quando eventos ocorrem juntos."));
  headings_[timePanel]->setText(tr("Em um horário diário"));
  captions_[timePanel]->setText(tr(
      "Mantenha o Tavuno aberto. Após repouso, a regra mais recente é retomada. Dispositivo e aplicativo têm prioridade em eventos simultâneos."));
  headings_[3]->setText(tr("Atividade recente"));
  connectionHeading_->setText(tr("Regras de conexão"));
  fieldLabels_[0]->setText(tr("Dispositivo"));
  fieldLabels_[2]->setText(tr("Aplicativo"));
  fieldLabels_[4]->setText(tr("Horário"));
  for (int panel = 0; panel < 3; ++panel) {
    fieldLabels_[panel * 2 + 1]->setText(tr("Perfil"));
    profilePickers_[panel]->setAccessibleName(tr("Perfil"));
  }
  device_->setAccessibleName(tr("Dispositivo"));
  app_->setAccessibleName(tr("Aplicativo"));
  time_->setAccessibleName(tr("Horário"));
  creates_[devicePanel]->setText(tr("Criar regra"));
  creates_[appPanel]->setText(tr("Criar regra de aplicativo"));
  creates_[timePanel]->setText(tr("Criar regra de horário"));
}

void AutomationsView::render(quint64 fields) {
  const auto& state = bridge_.state();
  const quint64 profiles = fieldBit(ServiceField::profiles);
  if (fields & (profiles | fieldBit(ServiceField::devices))) {
    const Picker picker = ruleDevicePicker(state.devices, deviceUID_);
    keepListed(deviceUID_, picker);
    device_->present(picker);
  }
  if (fields & fieldBit(ServiceField::runningApps)) {
    const Picker picker = runningAppPicker(state.runningApps, launchAppID_);
    keepListed(launchAppID_, picker);
    app_->present(picker);
  }
  if (fields & profiles) {
    for (int panel = 0; panel < 3; ++panel) {
      const Picker picker = tavuno::profilePicker(state.profiles, profileIDs_[panel], true);
      keepListed(profileIDs_[panel], picker);
      profilePickers_[panel]->present(picker);
    }
  }
  if (fields & (profiles | fieldBit(ServiceField::devices) | fieldBit(ServiceField::rules)))
    connectionRules_->render(connectionRuleRows(state));
  if (fields &
      (profiles | fieldBit(ServiceField::runningApps) | fieldBit(ServiceField::launchRules)))
    launchRules_->render(launchRuleRows(state, context_.appName));
  if (fields & (profiles | fieldBit(ServiceField::scheduledRules)))
    scheduledRules_->render(scheduledRuleRows(state));
  updateButtons();
}

void AutomationsView::updateButtons() {
  // A button that cannot be pressed says what it waits for.
  const bool ready[] = {deviceUID_ && profileIDs_[devicePanel],
                        launchAppID_ && profileIDs_[appPanel], profileIDs_[timePanel].has_value()};
  const QString missing[] = {tr("Escolha um dispositivo e um perfil."),
                             tr("Escolha um aplicativo e um perfil."), tr("Escolha um perfil.")};
  for (int panel = 0; panel < 3; ++panel) {
    creates_[panel]->setEnabled(ready[panel]);
    creates_[panel]->setToolTip(ready[panel] ? QString() : missing[panel]);
  }
}

}  // namespace tavuno::ui
