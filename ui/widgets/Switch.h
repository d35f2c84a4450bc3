#pragma once

#include <QAbstractButton>

namespace tavuno::ui {

// An on/off switch with its label on the left. Space and a click flip it;
// screen readers see a check box with the label as its name.
class Switch : public QAbstractButton {
  Q_OBJECT

 public:
  explicit Switch(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

}  // namespace tavuno::ui
