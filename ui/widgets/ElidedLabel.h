#pragma once

#include <QLabel>

namespace tavuno::ui {

// A one-line label for a name that may be long (a device, an app, a
// profile): it asks for no width of its own and, where its text does not
// fit, ends it with "…" and shows the whole name as its tooltip. text() and
// the accessible text stay whole.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);
  QSize minimumSizeHint() const override;
  // Whether the text is shown cut short at the current width.
  bool elided() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavuno::ui
