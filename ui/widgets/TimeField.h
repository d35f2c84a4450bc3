#pragma once

#include <QTimeEdit>

namespace tavuno::ui {

// The time of a daily rule: hours and minutes in the locale's own form (24 h
// in Portuguese, 12 h with AM/PM in English), a clock at its left and
// steppers at its right so it reads as a time field. Like the pickers it
// takes the wheel only once it has the focus, so scrolling the page past it
// never moves the time.
class TimeField : public QTimeEdit {
  Q_OBJECT

 public:
  explicit TimeField(QWidget* parent = nullptr);

 protected:
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void followLocale();
};

}  // namespace tavuno::ui
