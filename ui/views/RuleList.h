#pragma once

#include <functional>
#include <vector>

#include <QFrame>
#include <QIcon>

#include "ui/model/AutomationTexts.h"
#include "ui/widgets/KeyedRows.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tavuno::ui {

class ConfirmDeleteButton;
class Switch;

// What the rows of one kind of rule do, by rule id.
struct RuleActions {
  std::function<void(const Uuid&)> toggle;
  std::function<void(const Uuid&, int offset)> move;
  std::function<void(const Uuid&)> remove;
  // The row's own icon (an application's); empty: the list's symbol.
  std::function<QIcon(const RuleRowText&)> icon;
};

// One rule: what triggers it and the profile it applies (either in the
// warning colour when it is gone), "Ativa", the priority arrows (disabled at
// the ends of the list) and "Excluir regra".
class RuleRow : public QFrame {
  Q_OBJECT

 public:
  RuleRow(const char* icon, const RuleActions& actions, QWidget* parent = nullptr);
  void render(const RuleRowText& rule, bool first, bool last);

  const RuleRowText& rule() const { return rule_; }
  QLabel* subject() const { return subject_; }
  QLabel* profile() const { return profile_; }
  Switch* enabledSwitch() const { return enabled_; }
  QPushButton* upButton() const { return up_; }
  QPushButton* downButton() const { return down_; }
  ConfirmDeleteButton* deleteButton() const { return delete_; }

 private:
  const RuleActions& actions_;
  RuleRowText rule_;
  QLabel* icon_;
  QLabel* subject_;
  QLabel* profile_;
  Switch* enabled_;
  QPushButton* up_;
  QPushButton* down_;
  ConfirmDeleteButton* delete_;
};

// The rules of one kind in priority order, one reused row each, or
// "Nenhuma regra criada.".
class RuleList : public QWidget {
  Q_OBJECT

 public:
  RuleList(const char* icon, RuleActions actions, QWidget* parent = nullptr);
  void render(const std::vector<RuleRowText>& rules);

  RuleRow* row(const Uuid& id) const { return rows_.find(id.text()); }
  std::size_t rowCount() const { return rows_.size(); }
  // The row at a place in the list, as laid out.
  RuleRow* rowAt(int index) const;

 private:
  const char* icon_;
  RuleActions actions_;
  QLabel* empty_;
  QVBoxLayout* list_;
  KeyedRows<RuleRow> rows_;
};

}  // namespace tavuno::ui
