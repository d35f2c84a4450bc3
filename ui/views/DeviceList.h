#pragma once

#include <QAbstractButton>
#include <QWidget>

#include "devices/AudioDevice.h"
#include "ui/widgets/KeyedRows.h"

class QLabel;
class QVBoxLayout;

namespace tavuno::ui {

class ServiceBridge;

// One device of a list: selection mark, name and caption. Activating it
// (click, Space or Enter) makes it the default.
class DeviceRow : public QAbstractButton {
  Q_OBJECT

 public:
  explicit DeviceRow(QWidget* parent = nullptr);
  void render(const AudioDevice& device, bool input, bool isDefault);
  const AudioDevice& device() const { return device_; }
  bool isDefault() const { return default_; }
  QString caption() const { return caption_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  AudioDevice device_;
  bool default_ = false;
  bool hover_ = false;
  QString caption_;
};

// The outputs (or inputs) with the default marked, in a panel.
class DeviceList : public QWidget {
  Q_OBJECT

 public:
  DeviceList(ServiceBridge& bridge, bool input, QWidget* parent = nullptr);
  DeviceRow* row(const std::string& uid) const { return rows_.find(uid); }
  std::size_t rowCount() const { return rows_.size(); }

 private:
  void render();

  ServiceBridge& bridge_;
  bool input_;
  QLabel* heading_;
  QLabel* caption_;
  QLabel* empty_;
  QVBoxLayout* list_;
  KeyedRows<DeviceRow> rows_;
};

}  // namespace tavuno::ui
