#include "ui/views/SettingsView.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "system/GlobalShortcutController.h"
#include "system/LoginItemController.h"
#include "ui/bridge/ControllerBridge.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/model/SettingsTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Switch.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {

// A switch with its symbol on the left.
QHBoxLayout* withSymbol(const char* icon, QWidget* control, QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  row->addWidget(makeSymbol(icon, 18, colors::accent, parent));
  row->addWidget(control, 1);
  return row;
}

void setChecked(Switch* control, bool on) {
  const QSignalBlocker block(control);
  control->setChecked(on);
}

}  // namespace

SettingsView::SettingsView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      languageTitle_(makeLabel("heading")),
      language_(new PickerBox),
      automatic_(new Switch),
      automaticCaption_(makeLabel("caption")),
      login_(new Switch),
      loginMessage_(makeLabel("warning")),
      notifications_(new Switch),
      footer_(makeLabel("caption")) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);

  auto* languageCard = new Card(this);
  auto* languageRow = new QHBoxLayout;
  languageRow->setSpacing(10);
  languageRow->addWidget(makeSymbol("globe", 18, colors::accent, this));
  languageTitle_->setWordWrap(false);
  languageRow->addWidget(languageTitle_, 1);
  language_->setMinimumWidth(220);
  languageRow->addWidget(language_);
  languageCard->body()->addLayout(languageRow);
  layout->addWidget(languageCard);

  auto* controlCard = new Card(this);
  controlCard->body()->addLayout(withSymbol("waveform", automatic_, this));
  automaticCaption_->setIndent(28);
  controlCard->body()->addWidget(automaticCaption_);
  layout->addWidget(controlCard);

  auto* systemCard = new Card(this);
  systemCard->body()->addLayout(withSymbol("power", login_, this));
  loginMessage_->setIndent(28);
  systemCard->body()->addWidget(loginMessage_);
  systemCard->body()->addWidget(makeDivider(this));
  systemCard->body()->addLayout(withSymbol("bell", notifications_, this));
  layout->addWidget(systemCard);

  auto* shortcutCard = new Card(this);
  addShortcut(ShortcutId::muteOutput, "keyboard", shortcutCard->body());
  shortcutCard->body()->addWidget(makeDivider(this));
  addShortcut(ShortcutId::muteInput, "mic", shortcutCard->body());
  layout->addWidget(shortcutCard);

  auto* footer = new QHBoxLayout;
  footer->setContentsMargins(4, 0, 4, 0);
  footer->setSpacing(8);
  footer->addWidget(makeSymbol("shield", 14, colors::secondary, this), 0, Qt::AlignTop);
  footer->addWidget(footer_, 1);
  layout->addLayout(footer);
  layout->addStretch(1);

  connect(language_, &PickerBox::chosen, this, [this](const PickerEntry& entry) {
    if (entry.uid) context_.settings.setLanguagePreference(*entry.uid);
  });
  connect(automatic_, &Switch::clicked, this, [this](bool on) {
    if (auto service = context_.service.service()) service->setAutomaticControl(on);
    render();
  });
  connect(login_, &Switch::clicked, this, [this](bool on) {
    context_.loginItem.setEnabled(on);
    render();
  });
  // Switching on waits for the desktop's answer: the switch shows the
  // published state, not the click.
  connect(notifications_, &Switch::clicked, this, [this](bool on) {
    if (auto service = context_.service.service()) service->setNotificationsEnabled(on);
    render();
  });
  connect(&context_.shortcutChanges, &ControllerBridge::changed, this, &SettingsView::render);
  connect(&context_.loginItemChanges, &ControllerBridge::changed, this, &SettingsView::render);
  connect(&context_.settings, &SettingsBridge::languageChanged, this, &SettingsView::render);
  followService(
      *this, context_.service,
      fieldBit(ServiceField::controlPreferences) | fieldBit(ServiceField::notificationsEnabled),
      [this] { render(); });
}

void SettingsView::addShortcut(ShortcutId id, const char* icon, QVBoxLayout* card) {
  ShortcutControls& controls = shortcuts_[indexOf(id)];
  controls = {.toggle = new Switch,
              .caption = makeLabel("caption"),
              .keyTitle = makeLabel("caption"),
              .key = new PickerBox,
              .message = makeLabel("warning")};
  card->addLayout(withSymbol(icon, controls.toggle, this));
  controls.caption->setIndent(28);
  card->addWidget(controls.caption);
  auto* keyRow = new QHBoxLayout;
  keyRow->setContentsMargins(28, 0, 0, 0);
  keyRow->setSpacing(10);
  controls.keyTitle->setWordWrap(false);
  keyRow->addWidget(controls.keyTitle);
  controls.key->setMinimumWidth(220);
  keyRow->addWidget(controls.key);
  keyRow->addStretch(1);
  card->addLayout(keyRow);
  controls.message->setIndent(28);
  card->addWidget(controls.message);

  connect(controls.toggle, &Switch::clicked, this, [this, id](bool on) {
    context_.shortcut.setEnabled(id, on);
    render();
  });
  connect(controls.key, &PickerBox::chosen, this, [this, id](const PickerEntry& entry) {
    if (auto key = entry.uid ? shortcutKeyFromRaw(*entry.uid) : std::nullopt)
      context_.shortcut.setKey(id, *key);
    render();
  });
}

void SettingsView::showEvent(QShowEvent* event) {
  context_.loginItem.refresh();
  render();
  QWidget::showEvent(event);
}

void SettingsView::render() {
  const auto& state = context_.service.state();
  languageTitle_->setText(tr("Idioma"));
  language_->setAccessibleName(tr("Idioma"));
  language_->present(tavuno::languagePicker(context_.settings.languagePreference()));

  const bool automatic = state.controlPreferences.automatic;
  automatic_->setText(tr("Controlar automaticamente aplicativos com áudio"));
  automatic_->setAccessibleName(automatic_->text());
  setChecked(automatic_, automatic);
  automaticCaption_->setText(tr(automaticControlCaption(automatic)));

  login_->setText(tr("Iniciar com o macOS"));
  login_->setAccessibleName(login_->text());
  setChecked(login_, context_.loginItem.enabled());
  const auto loginMessage = context_.loginItem.shownMessage();
  setTextShown(loginMessage_, loginMessage ? qs(*loginMessage) : QString());

  notifications_->setText(tr("Notificar quando dispositivos mudarem"));
  notifications_->setAccessibleName(notifications_->text());
  setChecked(notifications_, state.notificationsEnabled);

  for (ShortcutId id : allShortcutIds)
    renderShortcut(id);

  footer_->setText(
      tr("O controle por aplicativo pode solicitar permissão para gravar áudio do sistema."));
}

void SettingsView::renderShortcut(ShortcutId id) {
  const ShortcutControls& controls = shortcuts_[indexOf(id)];
  const ShortcutTexts texts = shortcutTexts(id);
  controls.toggle->setText(tr(texts.title));
  controls.toggle->setAccessibleName(controls.toggle->text());
  setChecked(controls.toggle, context_.shortcut.enabled(id));
  controls.caption->setText(tr(texts.caption));
  controls.keyTitle->setText(tr("Combinação global"));
  controls.key->setAccessibleName(tr(texts.keyName));
  controls.key->present(shortcutKeyPicker(context_.shortcut.key(id)));
  const auto& message = context_.shortcut.message(id);
  setTextShown(controls.message, message ? qs(*message) : QString());
}

}  // namespace tavuno::ui
