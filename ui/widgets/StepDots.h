#pragma once

#include <QWidget>

namespace tavuno::ui {

// Where a guide is: one dot per step, the current one a longer bar in the
// accent colour, the steps done brighter than those to come.
class StepDots : public QWidget {
  Q_OBJECT

 public:
  StepDots(int count, QWidget* parent = nullptr);
  void setCurrent(int step);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int count_;
  int current_ = 0;
};

}  // namespace tavuno::ui
