#pragma once

#include <QWidget>

#include "ui/widgets/KeyedRows.h"

class QLabel;
class QVBoxLayout;

namespace tavuno::ui {

class AppRow;
class MeterFeed;
class ServiceBridge;

// The applications with audio, in the service's order, one reused row each;
// in compact form (the tray panel) without the explanation. Its level
// meters run only while it is visible.
class AppsView : public QWidget {
  Q_OBJECT

 public:
  AppsView(ServiceBridge& bridge, MeterFeed& meters, bool compact, QWidget* parent = nullptr);
  ~AppsView() override;

  AppRow* row(const std::string& id) const { return rows_.find(id); }
  std::size_t rowCount() const { return rows_.size(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void render();
  void updateLevels();

  ServiceBridge& bridge_;
  MeterFeed& meters_;
  bool compact_;
  bool metering_ = false;
  QLabel* heading_;
  QLabel* empty_;
  QLabel* caption_;
  QVBoxLayout* list_;
  KeyedRows<AppRow> rows_;
};

}  // namespace tavuno::ui
