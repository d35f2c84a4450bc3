#include "ui/widgets/PickerBox.h"

#include <QPainter>
#include <QSignalBlocker>
#include <QWheelEvent>

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
    for (const auto& entry : picker.entries) {
      if (iconFor_)
        addItem(iconFor_(entry), QString::fromStdString(entry.label));
      else
        addItem(QString::fromStdString(entry.label));
    }
  }
  picker_ = picker;
  setCurrentIndex(picker.selected);
}

void PickerBox::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();  // on to the scroll area
    return;
  }
  QComboBox::wheelEvent(event);
}

void PickerBox::setIcons(std::function<QIcon(const PickerEntry&)> iconFor) {
  iconFor_ = std::move(iconFor);
  setIconSize(QSize(18, 18));
  picker_ = {};  // refill with icons at the next present()
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

namespace tavuno::ui {

// The style sheet leaves the drop-down without an arrow: a chevron.
void PickerBox::paintEvent(QPaintEvent* event) {
  QComboBox::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(isEnabled() ? QColor(200, 208, 224) : QColor(93, 103, 128), 1.6,
                      Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QPointF centre(width() - 15.5, height() / 2.0 + 0.5);
  const QPointF points[] = {centre + QPointF(-4, -2), centre + QPointF(0, 2),
                            centre + QPointF(4, -2)};
  painter.drawPolyline(points, 3);
}

}  // namespace tavuno::ui
