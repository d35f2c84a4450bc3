#include "ui/widgets/PickerBox.h"

#include <QSignalBlocker>

namespace tavuno::ui {

PickerBox::PickerBox(QWidget* parent) : QComboBox(parent) {
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(12);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(picker_.entries.size()))
      emit chosen(picker_.entries[index]);
  });
}

void PickerBox::present(const Picker& picker) {
  if (popupOpen_) {
    deferred_ = picker;
    hasDeferred_ = true;
    return;
  }
  const QSignalBlocker block(this);
  bool sameLabels = picker.entries.size() == picker_.entries.size();
  for (std::size_t i = 0; sameLabels && i < picker.entries.size(); ++i)
    sameLabels = picker.entries[i].label == picker_.entries[i].label;
  if (!sameLabels) {
    clear();
    for (const auto& entry : picker.entries)
      addItem(QString::fromStdString(entry.label));
  }
  picker_ = picker;
  setCurrentIndex(picker.selected);
}

void PickerBox::showPopup() {
  popupOpen_ = true;
  QComboBox::showPopup();
}

void PickerBox::hidePopup() {
  QComboBox::hidePopup();
  popupOpen_ = false;
  // After the choice that closed the list has been delivered.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!hasDeferred_ || popupOpen_) return;
        hasDeferred_ = false;
        present(deferred_);
      },
      Qt::QueuedConnection);
}

}  // namespace tavuno::ui
