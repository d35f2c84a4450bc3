#include "ui/views/ProfileRow.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "profiles/ProfileName.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ProfileTexts.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/ConfirmDeleteButton.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ProfileRow::ProfileRow(ServiceBridge& bridge, QWidget* parent)
    : QFrame(parent),
      bridge_(bridge),
      icon_(makeSymbol("stack", 22, colors::accent, this)),
      name_(new ElidedLabel(this)),
      badge_(makeLabel("badge", this)),
      outputIcon_(makeSymbol("speaker", 14, colors::secondary, this)),
      output_(makeLabel("detail", this)),
      inputIcon_(makeSymbol("mic", 14, colors::secondary, this)),
      input_(makeLabel("detail", this)),
      volume_(makeLabel("detail", this)),
      apps_(makeLabel("detail", this)),
      viewHead_(new QWidget(this)),
      editHead_(new QWidget(this)),
      apply_(new QPushButton(this)),
      rename_(new QPushButton(this)),
      delete_(new ConfirmDeleteButton(this)),
      field_(new QLineEdit(this)),
      save_(new QPushButton(this)),
      cancel_(new QPushButton(this)) {
  setObjectName(QStringLiteral("listRow"));
  setAttribute(Qt::WA_StyledBackground);
  name_->setFont(pixelFont(15, QFont::DemiBold));
  name_->setTextFormat(Qt::PlainText);
  badge_->setWordWrap(false);
  for (auto* label : {output_, input_, volume_, apps_})
    label->setWordWrap(false);
  rename_->setIcon(symbolIcon("pencil", colors::text, 16));
  save_->setProperty("primary", true);
  delete_->setTexts(textKey("Excluir perfil"),
                    textKey("As automações associadas também serão excluídas."));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setSpacing(12);
  layout->addWidget(icon_, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  layout->addLayout(column, 1);

  auto* view = new QHBoxLayout(viewHead_);
  view->setContentsMargins(0, 0, 0, 0);
  view->setSpacing(8);
  view->addWidget(name_);
  view->addWidget(badge_, 0, Qt::AlignVCenter);
  view->addStretch(1);
  view->addWidget(apply_);
  view->addWidget(rename_);
  view->addWidget(delete_);
  column->addWidget(viewHead_);

  auto* edit = new QHBoxLayout(editHead_);
  edit->setContentsMargins(0, 0, 0, 0);
  edit->setSpacing(8);
  edit->addWidget(field_, 1);
  edit->addWidget(save_);
  edit->addWidget(cancel_);
  column->addWidget(editHead_);
  editHead_->hide();

  auto* details = new QHBoxLayout;
  details->setSpacing(6);
  details->addWidget(outputIcon_);
  details->addWidget(output_);
  details->addSpacing(14);
  details->addWidget(inputIcon_);
  details->addWidget(input_);
  details->addSpacing(14);
  details->addWidget(volume_);
  details->addSpacing(14);
  details->addWidget(apps_);
  details->addStretch(1);
  column->addLayout(details);

  field_->installEventFilter(this);
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->applyProfile(profile_);
  });
  connect(rename_, &QPushButton::clicked, this, &ProfileRow::startEditing);
  connect(save_, &QPushButton::clicked, this, &ProfileRow::save);
  connect(field_, &QLineEdit::returnPressed, this, &ProfileRow::save);
  connect(cancel_, &QPushButton::clicked, this, &ProfileRow::stopEditing);
  delete_->setAction([this] {
    if (auto service = bridge_.service()) service->deleteProfile(profile_);
  });
}

void ProfileRow::render(const AudioProfile& profile, const ServiceState& state) {
  profile_ = profile;
  const bool active = state.activeProfileID && *state.activeProfileID == profile.id;
  name_->setText(qs(profile.name));
  badge_->setText(tr("Ativo"));
  badge_->setVisible(active);
  if (property("active").toBool() != active) {
    setProperty("active", active);
    restyle(this);
  }
  const ProfileRowTexts texts = profileRowTexts(profile, state.devices);
  output_->setText(qs(texts.output));
  setRole(output_, texts.outputMissing ? "warning" : "detail");
  input_->setText(qs(texts.input));
  setRole(input_, texts.inputMissing ? "warning" : "detail");
  volume_->setText(qs(texts.volume));
  apps_->setText(qs(texts.apps));

  apply_->setText(tr("Aplicar"));
  apply_->setAccessibleName(tr("Aplicar") + QLatin1Char(' ') + qs(profile.name));
  rename_->setText(tr("Renomear"));
  rename_->setToolTip(tr("Renomear perfil"));
  rename_->setAccessibleName(tr("Renomear perfil ") + qs(profile.name));
  delete_->setSubject(qs(profile.name));
  field_->setPlaceholderText(tr("Nome do perfil"));
  field_->setAccessibleName(tr("Nome do perfil"));
  save_->setText(tr("Salvar"));
  cancel_->setText(tr("Cancelar"));
}

bool ProfileRow::editing() const {
  return !editHead_->isHidden();
}

bool ProfileRow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    stopEditing();
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

void ProfileRow::startEditing() {
  field_->setText(qs(profile_.name));
  viewHead_->hide();
  editHead_->show();
  field_->selectAll();
  field_->setFocus(Qt::OtherFocusReason);
}

void ProfileRow::save() {
  auto service = bridge_.service();
  if (!service) return;
  const std::string name = field_->text().toStdString();
  service->updateProfile(profile_, name);
  // A blank name stays in the field; the service says what is missing.
  if (!trimmedProfileName(name).empty()) stopEditing();
}

void ProfileRow::stopEditing() {
  const bool hadFocus = editHead_->isAncestorOf(QApplication::focusWidget());
  editHead_->hide();
  viewHead_->show();
  if (hadFocus) rename_->setFocus(Qt::OtherFocusReason);
}

}  // namespace tavuno::ui
