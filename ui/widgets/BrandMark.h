#pragma once

#include <QWidget>

namespace tavuno::ui {

// The logo tile: a waveform in the brand gradient (cyan, blue, purple) on a
// dark rounded square whose corner radius is a quarter of its side.
class BrandMark : public QWidget {
  Q_OBJECT

 public:
  explicit BrandMark(int size, QWidget* parent = nullptr);
  // The mark drawn into a pixmap (the window and tray icons).
  static QPixmap render(int size, qreal devicePixelRatio = 1.0, bool muted = false);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int size_;
};

}  // namespace tavuno::ui
