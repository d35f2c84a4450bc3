#include "ui/views/RuleList.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/views/ViewHelpers.h"
#include "ui/widgets/ConfirmDeleteButton.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Switch.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

RuleRow::RuleRow(const char* icon, const RuleActions& actions, QWidget* parent)
    : QFrame(parent),
      actions_(actions),
      icon_(makeSymbol(icon, 20, colors::accent, this)),
      subject_(makeLabel("name", this)),
      profile_(makeLabel("detail", this)),
      enabled_(new Switch(this)),
      up_(makeIconButton(this)),
      down_(makeIconButton(this)),
      delete_(new ConfirmDeleteButton(this)) {
  setObjectName(QStringLiteral("listRow"));
  setAttribute(Qt::WA_StyledBackground);
  subject_->setWordWrap(false);
  profile_->setWordWrap(false);
  enabled_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  up_->setIcon(symbolIcon("arrow-up", colors::text, 16));
  down_->setIcon(symbolIcon("arrow-down", colors::text, 16));
  delete_->setTexts(textKey("Excluir regra"), textKey("Esta ação não pode ser desfeita."));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(14, 10, 12, 10);
  layout->setSpacing(12);
  layout->addWidget(icon_);
  auto* names = new QVBoxLayout;
  names->setSpacing(2);
  names->addWidget(subject_);
  auto* target = new QHBoxLayout;
  target->setSpacing(6);
  target->addWidget(makeSymbol("stack", 13, colors::secondary, this));
  target->addWidget(profile_, 1);
  names->addLayout(target);
  layout->addLayout(names, 1);
  layout->addWidget(enabled_);
  layout->addSpacing(4);
  layout->addWidget(up_);
  layout->addWidget(down_);
  layout->addWidget(delete_);

  connect(enabled_, &Switch::clicked, this, [this] {
    if (actions_.toggle) actions_.toggle(rule_.id);
  });
  connect(up_, &QPushButton::clicked, this, [this] {
    if (actions_.move) actions_.move(rule_.id, -1);
  });
  connect(down_, &QPushButton::clicked, this, [this] {
    if (actions_.move) actions_.move(rule_.id, 1);
  });
  delete_->setAction([this] {
    if (actions_.remove) actions_.remove(rule_.id);
  });
}

void RuleRow::render(const RuleRowText& rule, bool first, bool last) {
  rule_ = rule;
  if (actions_.icon) icon_->setPixmap(actions_.icon(rule).pixmap(20, 20));
  subject_->setText(qs(rule.subject));
  setRole(subject_, rule.subjectMissing ? "missing" : "name");
  profile_->setText(qs(rule.profile));
  setRole(profile_, rule.profileMissing ? "warning" : "detail");
  enabled_->setText(tr("Ativa"));
  enabled_->setAccessibleName(tr("Ativa") + QStringLiteral(": ") + qs(rule.subject));
  {
    const QSignalBlocker block(enabled_);
    enabled_->setChecked(rule.enabled);
  }
  up_->setToolTip(tr("Aumentar prioridade"));
  up_->setAccessibleName(tr("Aumentar prioridade") + QStringLiteral(": ") + qs(rule.subject));
  down_->setToolTip(tr("Reduzir prioridade"));
  down_->setAccessibleName(tr("Reduzir prioridade") + QStringLiteral(": ") + qs(rule.subject));
  delete_->setSubject(qs(rule.subject));
  up_->setEnabled(!first);
  down_->setEnabled(!last);
  up_->setIcon(symbolIcon("arrow-up", first ? QColor(93, 103, 128) : colors::text, 16));
  down_->setIcon(symbolIcon("arrow-down", last ? QColor(93, 103, 128) : colors::text, 16));
}

RuleList::RuleList(const char* icon, RuleActions actions, QWidget* parent)
    : QWidget(parent),
      icon_(icon),
      actions_(std::move(actions)),
      empty_(makeLabel("caption", this)),
      list_(new QVBoxLayout),
      rows_(list_) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(empty_);
  list_->setSpacing(6);
  layout->addLayout(list_);
}

void RuleList::render(const std::vector<RuleRowText>& rules) {
  empty_->setText(tr("Nenhuma regra criada."));
  empty_->setVisible(rules.empty());
  std::vector<std::string> keys;
  for (const auto& rule : rules)
    keys.push_back(rule.id.text());
  rows_.sync(keys, [this](const std::string&) { return new RuleRow(icon_, actions_, this); });
  for (std::size_t i = 0; i < rules.size(); ++i)
    rows_.find(rules[i].id.text())->render(rules[i], i == 0, i + 1 == rules.size());
}

RuleRow* RuleList::rowAt(int index) const {
  if (index < 0 || index >= list_->count()) return nullptr;
  return qobject_cast<RuleRow*>(list_->itemAt(index)->widget());
}

}  // namespace tavuno::ui
