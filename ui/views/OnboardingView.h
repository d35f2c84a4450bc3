#pragma once

#include <QWidget>

#include "ui/views/ScreenContext.h"

class QGridLayout;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace tavuno::ui {

class StepDots;
class Switch;

// The first-run guide, six steps over the main window: welcome, per-app
// control, the default devices, the preferred headset, automatic switching,
// and where to find Tavuno. "Voltar" from the second step on; "Continuar",
// and on the last step "Começar", which stores that the guide is done. The
// controls act at once, as on the devices screen.
class OnboardingView : public QWidget {
  Q_OBJECT

 public:
  explicit OnboardingView(const ScreenContext& context, QWidget* parent = nullptr);

  int step() const { return step_; }
  void setStep(int step);
  QLabel* counter() const { return counter_; }
  QLabel* title() const { return title_; }
  QPushButton* backButton() const { return back_; }
  QPushButton* forwardButton() const { return forward_; }
  Switch* automatic() const { return automatic_; }
  // The guide's card, without the veil over the window.
  QWidget* card() const { return card_; }
  // Puts the keyboard on the step's main button.
  void focusStep();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void forward();
  void render();

  ScreenContext context_;
  int step_ = 0;
  QWidget* card_;
  QLabel* counter_;
  QLabel* title_;
  QStackedWidget* pages_;
  QLabel* welcome_;
  QLabel* control_;
  Switch* automatic_;
  QLabel* automaticCaption_;
  QLabel* ready_;
  QPushButton* back_;
  StepDots* dots_;
  QPushButton* forward_;
  QGridLayout* footer_ = nullptr;
};

}  // namespace tavuno::ui
