#pragma once

#include <QComboBox>

#include "ui/model/PickerEntries.h"

namespace tavuno::ui {

// A combo box showing a picker of the view model. present() refills it only
// when its entries changed, and never while its list is open, so a refresh
// does not close the list under the user; the user's choice arrives through
// `chosen` (QComboBox::activated, never a programmatic change).
class PickerBox : public QComboBox {
  Q_OBJECT

 public:
  explicit PickerBox(QWidget* parent = nullptr);
  void present(const Picker& picker);
  const Picker& picker() const { return picker_; }

  void showPopup() override;
  void hidePopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 signals:
  void chosen(const tavuno::PickerEntry& entry);

 private:
  Picker picker_;
  Picker deferred_;
  bool popupOpen_ = false;
  bool hasDeferred_ = false;
};

}  // namespace tavuno::ui
