#include "ui/views/HistoryList.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "base/text/TavunoLanguage.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/model/RelativeTime.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/RelativeTimeText.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

HistoryRow::HistoryRow(QWidget* parent)
    : QFrame(parent),
      icon_(new QLabel(this)),
      profile_(makeLabel("name", this)),
      time_(makeLabel("caption", this)),
      status_(makeLabel("detail", this)),
      detail_(makeLabel("warning", this)) {
  setObjectName(QStringLiteral("listRow"));
  setAttribute(Qt::WA_StyledBackground);
  icon_->setFixedSize(20, 20);
  profile_->setWordWrap(false);
  time_->setWordWrap(false);
  time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(14, 10, 14, 10);
  layout->setSpacing(12);
  layout->addWidget(icon_, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  column->setSpacing(2);
  auto* top = new QHBoxLayout;
  top->setSpacing(8);
  top->addWidget(profile_, 1);
  top->addWidget(time_);
  column->addLayout(top);
  column->addWidget(status_);
  column->addWidget(detail_);
  layout->addLayout(column, 1);
}

void HistoryRow::render(const HistoryRowText& record) {
  record_ = record;
  setSymbol(icon_, record.succeeded ? "check-circle" : "alert-circle", 20,
            record.succeeded ? colors::success : colors::warning);
  profile_->setText(qs(record.profileName));
  status_->setText(qs(record.status));
  setTextShown(detail_, record.detail ? qs(*record.detail) : QString());
}

void HistoryRow::renderTime(WallTime now) {
  time_->setText(relativeTimeText(relativeSpan(record_.date, now), TavunoLanguage::current()));
  setAccessibleName(profile_->text() + QStringLiteral(", ") + time_->text() + QStringLiteral(", ") +
                    status_->text());
}

HistoryList::HistoryList(ServiceBridge& bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      empty_(makeLabel("caption", this)),
      list_(new QVBoxLayout),
      rows_(list_) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(empty_);
  list_->setSpacing(6);
  layout->addLayout(list_);
  timer_.setInterval(refreshIntervalMs);
  timer_.setTimerType(Qt::VeryCoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &HistoryList::renderTimes);
  followService(*this, bridge_, fieldBit(ServiceField::automationHistory), [this] { render(); });
}

void HistoryList::showEvent(QShowEvent* event) {
  // The times may be stale after a while hidden.
  renderTimes();
  timer_.start();
  QWidget::showEvent(event);
}

void HistoryList::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

void HistoryList::render() {
  const auto records = recentHistoryRows(bridge_.state().automationHistory);
  empty_->setText(tr("Nenhuma automação executada."));
  empty_->setVisible(records.empty());
  std::vector<std::string> keys;
  for (const auto& record : records)
    keys.push_back(record.id.text());
  rows_.sync(keys, [this](const std::string&) { return new HistoryRow(this); });
  for (const auto& record : records)
    rows_.find(record.id.text())->render(record);
  renderTimes();
}

void HistoryList::renderTimes() {
  const WallTime now = clock_();
  for (const auto& record : bridge_.state().automationHistory)
    if (auto* row = rows_.find(record.id.text())) row->renderTime(now);
}

}  // namespace tavuno::ui
