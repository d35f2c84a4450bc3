#pragma once

#include <QWidget>

namespace tavuno::ui {

// A thin horizontal level bar, 0...1 on the meter's decibel scale: green,
// then amber near the top, red at full scale.
class LevelMeter : public QWidget {
  Q_OBJECT

 public:
  explicit LevelMeter(QWidget* parent = nullptr);
  void setLevel(double level);
  double level() const { return level_; }
  QSize sizeHint() const override { return {120, 4}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double level_ = 0;
};

}  // namespace tavuno::ui
