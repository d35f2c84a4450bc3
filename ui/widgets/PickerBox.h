#pragma once

#include <functional>

#include <QComboBox>
#include <QIcon>

#include "ui/model/PickerEntries.h"

namespace tavuno::ui {

// A combo box showing a picker of the view model. present() refills it only
// when its entries changed, and never while its list is open, so a refresh
// does not close the list under the user; the user's choice arrives through
// `chosen` (QComboBox::activated, never a programmatic change). The wheel
// turns it only once it has the focus; otherwise the wheel scrolls the page,
// so scrolling past a picker never changes a device, a profile or a route.
class PickerBox : public QComboBox {
  Q_OBJECT

 public:
  explicit PickerBox(QWidget* parent = nullptr);
  void present(const Picker& picker);
  // Draws an icon beside each entry from now on (the application picker).
  void setIcons(std::function<QIcon(const tavuno::PickerEntry&)> iconFor);
  const Picker& picker() const { return picker_; }

  void showPopup() override;
  void hidePopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 signals:
  void chosen(const tavuno::PickerEntry& entry);

 private:
  std::function<QIcon(const tavuno::PickerEntry&)> iconFor_;
  Picker picker_;
  Picker deferred_;
  bool popupOpen_ = false;
  bool hasDeferred_ = false;
};

}  // namespace tavuno::ui
