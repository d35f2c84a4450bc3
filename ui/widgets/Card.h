#pragma once

#include <QFrame>

class QVBoxLayout;

namespace tavuno::ui {

// A panel: a rounded, faintly lit card that groups a screen's controls, with
// 20 px of padding around what it holds.
class Card : public QFrame {
  Q_OBJECT

 public:
  explicit Card(QWidget* parent = nullptr, int padding = 20);
  QVBoxLayout* body() const { return body_; }

 private:
  QVBoxLayout* body_;
};

// A one-pixel rule between groups of controls.
QFrame* makeDivider(QWidget* parent = nullptr);

}  // namespace tavuno::ui
