#pragma once

#include <QFrame>
#include <QTimer>

#include "base/ports/WallClock.h"
#include "ui/model/AutomationTexts.h"
#include "ui/widgets/KeyedRows.h"

class QLabel;
class QVBoxLayout;

namespace tavuno::ui {

class ServiceBridge;

// One automation that ran: a check or an alert, the profile, how long ago,
// the trigger with its outcome, and what went wrong.
class HistoryRow : public QFrame {
  Q_OBJECT

 public:
  explicit HistoryRow(QWidget* parent = nullptr);
  void render(const HistoryRowText& record);
  // The time, in words of the current language, as of `now`.
  void renderTime(WallTime now);

  QLabel* profile() const { return profile_; }
  QLabel* status() const { return status_; }
  QLabel* detail() const { return detail_; }
  QLabel* time() const { return time_; }

 private:
  HistoryRowText record_;
  QLabel* icon_;
  QLabel* profile_;
  QLabel* time_;
  QLabel* status_;
  QLabel* detail_;
};

// "Atividade recente": the newest automations (20 at most), newest first, or
// "Nenhuma automação executada.". While on screen, the times are written
// again every minute; hidden, nothing runs.
class HistoryList : public QWidget {
  Q_OBJECT

 public:
  static constexpr int refreshIntervalMs = 60 * 1000;

  explicit HistoryList(ServiceBridge& bridge, QWidget* parent = nullptr);
  // The clock the times are measured against (tests fix it).
  void setClock(WallClock clock) { clock_ = std::move(clock); }

  HistoryRow* row(const Uuid& id) const { return rows_.find(id.text()); }
  std::size_t rowCount() const { return rows_.size(); }
  QLabel* emptyLabel() const { return empty_; }
  bool ticking() const { return timer_.isActive(); }
  // What the minute timer does.
  void renderTimes();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void render();

  ServiceBridge& bridge_;
  WallClock clock_ = systemWallClock();
  QLabel* empty_;
  QVBoxLayout* list_;
  KeyedRows<HistoryRow> rows_;
  QTimer timer_;
};

}  // namespace tavuno::ui
