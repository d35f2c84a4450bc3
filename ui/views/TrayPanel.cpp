#include "ui/views/TrayPanel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/views/AppsView.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/ProfileSelector.h"
#include "ui/views/ViewHelpers.h"
#include "ui/views/VolumeView.h"
#include "ui/widgets/BrandMark.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

TrayPanel::TrayPanel(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint),
      open_(new QPushButton),
      error_(new ErrorLine(bridge)),
      profiles_(new ProfileSelector(bridge)),
      volume_(new VolumeView(bridge)),
      output_(new DevicePicker(bridge, false, DevicePicker::Role::systemDefault)),
      input_(new DevicePicker(bridge, true, DevicePicker::Role::systemDefault)),
      inputVolume_(new VolumeView(bridge, meters)),
      scroll_(new QScrollArea),
      apps_(new AppsView(bridge, meters, true)),
      quit_(new QPushButton) {
  setObjectName(QStringLiteral("trayPanel"));
  setWindowTitle(QStringLiteral("Tavuno"));
  setFixedWidth(panelWidth);
  setAttribute(Qt::WA_TranslucentBackground);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->setSpacing(12);
  auto* header = new QHBoxLayout;
  header->setSpacing(10);
  header->addWidget(new BrandMark(30, this));
  auto* name = new QLabel(QStringLiteral("Tavuno"), this);
  name->setFont(pixelFont(17, QFont::Bold));
  header->addWidget(name, 1);
  open_->setIcon(symbolIcon("open", colors::text, 16));
  header->addWidget(open_);
  layout->addLayout(header);
  layout->addWidget(error_);
  layout->addWidget(profiles_);
  auto* volumeCard = new Card(this, 14);
  volumeCard->body()->addWidget(volume_);
  layout->addWidget(volumeCard);
  layout->addWidget(makeDivider(this));
  layout->addWidget(output_);
  layout->addWidget(input_);
  auto* inputCard = new Card(this, 14);
  inputCard->body()->addWidget(inputVolume_);
  layout->addWidget(inputCard);
  layout->addWidget(makeDivider(this));
  // The applications scroll when there are many, so the panel fits a screen.
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidget(apps_);
  layout->addWidget(scroll_, 1);
  auto* footer = new QHBoxLayout;
  quit_->setProperty("flat", true);
  quit_->setIcon(symbolIcon("power", colors::secondary, 16));
  footer->addWidget(quit_);
  footer->addStretch(1);
  layout->addLayout(footer);

  connect(open_, &QPushButton::clicked, this, [this] {
    hide();
    emit openRequested();
  });
  connect(quit_, &QPushButton::clicked, this, &TrayPanel::quitRequested);
  retranslate();
}

void TrayPanel::fitHeight() {
  // The list's own height, up to what leaves the rest of the panel on screen.
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const int available = screen ? screen->availableGeometry().height() : 900;
  const int others = sizeHint().height() - scroll_->sizeHint().height();
  const int wanted = apps_->sizeHint().height() + 4;
  scroll_->setFixedHeight(std::max(60, std::min(wanted, available - others - 40)));
  adjustSize();
}

void TrayPanel::popup(const QPoint& anchor) {
  fitHeight();
  const QScreen* screen = QGuiApplication::screenAt(anchor);
  if (!screen) screen = QGuiApplication::primaryScreen();
  QPoint at(anchor.x() - width() / 2, anchor.y() + 8);
  if (screen) {
    const QRect area = screen->availableGeometry();
    if (at.y() + height() > area.bottom()) at.setY(anchor.y() - height() - 8);
    at.setX(
        std::clamp(at.x(), area.left() + 4, std::max(area.left() + 4, area.right() - width() - 4)));
    at.setY(
        std::clamp(at.y(), area.top() + 4, std::max(area.top() + 4, area.bottom() - height() - 4)));
  }
  move(at);
  show();
  raise();
  activateWindow();
}

void TrayPanel::toggle(const QPoint& anchor) {
  const bool justClosed =
      hiddenOnFocusLoss_.isValid() && hiddenOnFocusLoss_.elapsed() < reopenGuard;
  hiddenOnFocusLoss_.invalidate();
  if (isVisible())
    hide();
  else if (!justClosed)
    popup(anchor);
}

void TrayPanel::showEvent(QShowEvent* event) {
  fitHeight();
  QWidget::showEvent(event);
}

void TrayPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  // Like a menu: clicking elsewhere closes it.
  if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
    hide();
    hiddenOnFocusLoss_.start();
  }
  QWidget::changeEvent(event);
}

void TrayPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TrayPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
  painter.fillPath(outline, colors::navy);
  painter.setPen(QColor(255, 255, 255, 28));
  painter.drawPath(outline);
}

void TrayPanel::retranslate() {
  open_->setText(tr("Abrir"));
  open_->setAccessibleName(tr("Abrir"));
  quit_->setText(tr("Encerrar Tavuno"));
}

}  // namespace tavuno::ui
