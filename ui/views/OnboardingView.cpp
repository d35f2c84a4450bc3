#include "ui/views/OnboardingView.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/model/SettingsTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/BrandMark.h"
#include "ui/widgets/StepDots.h"
#include "ui/widgets/Switch.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {

constexpr int cardWidth = 580;

QWidget* page(QLayout* content) {
  auto* widget = new QWidget;
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(16);
  layout->addLayout(content);
  layout->addStretch(1);
  return widget;
}

QLabel* bodyText() {
  return makeLabel("subtitle");
}

}  // namespace

OnboardingView::OnboardingView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      card_(new QFrame(this)),
      counter_(makeLabel("counter")),
      title_(new QLabel),
      pages_(new QStackedWidget),
      welcome_(bodyText()),
      control_(bodyText()),
      automatic_(new Switch),
      automaticCaption_(makeLabel("caption")),
      ready_(bodyText()),
      back_(new QPushButton),
      dots_(new StepDots(onboardingStepCount)),
      forward_(new QPushButton) {
  setObjectName(QStringLiteral("onboarding"));
  setAttribute(Qt::WA_StyledBackground, false);
  card_->setObjectName(QStringLiteral("onboardingCard"));
  card_->setAttribute(Qt::WA_StyledBackground);
  card_->setFixedWidth(cardWidth);

  auto* centring = new QVBoxLayout(this);
  centring->setContentsMargins(24, 24, 24, 24);
  centring->addStretch(1);
  centring->addWidget(card_, 0, Qt::AlignHCenter);
  centring->addStretch(1);

  auto* layout = new QVBoxLayout(card_);
  layout->setContentsMargins(40, 36, 40, 28);
  layout->setSpacing(0);
  QFont tracked = pixelFont(11, QFont::DemiBold);
  tracked.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
  counter_->setFont(tracked);
  counter_->setWordWrap(false);
  layout->addWidget(counter_);
  layout->addSpacing(10);
  title_->setFont(pixelFont(40, QFont::Bold));
  title_->setWordWrap(true);
  title_->setTextFormat(Qt::PlainText);
  layout->addWidget(title_);
  layout->addSpacing(22);

  // 0: welcome.
  auto* welcome = new QVBoxLayout;
  welcome->setSpacing(18);
  welcome->addWidget(new BrandMark(64, card_));
  welcome->addWidget(welcome_);
  pages_->addWidget(page(welcome));
  // 1: per-app control.
  auto* control = new QHBoxLayout;
  control->setSpacing(14);
  control->addWidget(makeSymbol("waveform", 28, colors::accent), 0, Qt::AlignTop);
  control->addWidget(control_, 1);
  pages_->addWidget(page(control));
  // 2: the default devices.
  auto* defaults = new QVBoxLayout;
  defaults->setSpacing(16);
  defaults->addWidget(new DevicePicker(context_.service, false, DevicePicker::Role::systemDefault));
  defaults->addWidget(new DevicePicker(context_.service, true, DevicePicker::Role::systemDefault));
  pages_->addWidget(page(defaults));
  // 3: the preferred headset.
  auto* preferred = new QVBoxLayout;
  preferred->setSpacing(16);
  preferred->addWidget(new DevicePicker(context_.service, false, DevicePicker::Role::preferred));
  preferred->addWidget(new DevicePicker(context_.service, true, DevicePicker::Role::preferred));
  pages_->addWidget(page(preferred));
  // 4: automatic switching.
  auto* automatic = new QVBoxLayout;
  automatic->setSpacing(10);
  automatic->addWidget(automatic_);
  automatic->addWidget(automaticCaption_);
  pages_->addWidget(page(automatic));
  // 5: ready.
  auto* ready = new QHBoxLayout;
  ready->setSpacing(14);
  ready->addWidget(makeSymbol("check-circle", 28, colors::success), 0, Qt::AlignTop);
  ready->addWidget(ready_, 1);
  pages_->addWidget(page(ready));
  layout->addWidget(pages_, 1);
  layout->addSpacing(28);

  // Three columns, the outer two equally wide (see render()): the dots stay
  // centred whatever the buttons' widths, and whether "Voltar" shows or not.
  auto* footer = footer_ = new QGridLayout;
  footer->setHorizontalSpacing(10);
  back_->setProperty("flat", true);
  auto keepPlace = back_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  back_->setSizePolicy(keepPlace);
  footer->addWidget(back_, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
  footer->addWidget(dots_, 0, 1, Qt::AlignCenter);
  forward_->setProperty("primary", true);
  forward_->setMinimumWidth(120);
  footer->addWidget(forward_, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
  footer->setColumnStretch(0, 1);
  footer->setColumnStretch(2, 1);
  layout->addLayout(footer);

  connect(back_, &QPushButton::clicked, this, [this] { setStep(step_ - 1); });
  connect(forward_, &QPushButton::clicked, this, &OnboardingView::forward);
  connect(automatic_, &Switch::clicked, this, [this](bool on) {
    if (auto service = context_.service.service()) service->setAutomatic(on);
  });
  followService(*this, context_.service, fieldBit(ServiceField::automatic), [this] { render(); });
}

void OnboardingView::setStep(int step) {
  step = std::clamp(step, 0, onboardingStepCount - 1);
  if (step == step_) return;
  const bool hadFocus = isAncestorOf(QApplication::focusWidget());
  step_ = step;
  render();
  if (hadFocus) focusStep();
}

void OnboardingView::focusStep() {
  forward_->setFocus(Qt::OtherFocusReason);
}

void OnboardingView::forward() {
  if (step_ + 1 < onboardingStepCount)
    setStep(step_ + 1);
  else
    context_.settings.setOnboardingDone(true);
}

void OnboardingView::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button, and anywhere else moves on.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        button && isAncestorOf(button))
      button->click();
    else
      forward();
    return;
  }
  QWidget::keyPressEvent(event);
}

void OnboardingView::paintEvent(QPaintEvent*) {
  // The window beneath shows faintly through.
  QPainter painter(this);
  QColor veil = colors::navy;
  veil.setAlpha(232);
  painter.fillRect(rect(), veil);
}

void OnboardingView::render() {
  const bool last = step_ == onboardingStepCount - 1;
  counter_->setText(qs(onboardingCounter(step_)));
  title_->setText(tr(onboardingTitle(step_)));
  card_->setAccessibleName(title_->text());
  pages_->setCurrentIndex(step_);
  dots_->setCurrent(step_);
  welcome_->setText(tr("Controle o áudio e os dispositivos do seu Mac em um só lugar."));
  control_->setText(
      tr("O controle por aplicativo solicita acesso ao áudio do sistema ao ser ativado."));
  automatic_->setText(tr("Usar headset preferido automaticamente"));
  automatic_->setAccessibleName(automatic_->text());
  automaticCaption_->setText(tr(
      "Ao escolher um headset Bluetooth identificado sem ambiguidade, sua entrada correspondente também é selecionada. Quando indisponível, o Tavuno tenta usar os dispositivos internos. A seleção manual pode ser substituída na próxima mudança de conexão."));
  {
    const QSignalBlocker block(automatic_);
    automatic_->setChecked(context_.service.state().automatic);
  }
  const bool tray = !context_.trayAvailable || context_.trayAvailable();
  ready_->setText(tr(onboardingClosingText(tray)));
  back_->setText(tr("Voltar"));
  back_->setVisible(step_ > 0);
  forward_->setText(last ? tr("Começar") : tr("Continuar"));
  const int side = std::max(back_->sizeHint().width(), forward_->sizeHint().width());
  footer_->setColumnMinimumWidth(0, side);
  footer_->setColumnMinimumWidth(2, side);
}

}  // namespace tavuno::ui
