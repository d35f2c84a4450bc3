#include "ui/views/Sidebar.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/model/ViewTexts.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/BrandMark.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

namespace {

// The maker's mark: a monogram tile, 32 px, rounded; quiet, so the sidebar's
// brightest things stay the selected section and the app's own mark.
QPixmap makerMark(qreal ratio) {
  QPixmap pixmap(qRound(32 * ratio), qRound(32 * ratio));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(255, 255, 255, 30));
  painter.setPen(QPen(QColor(255, 255, 255, 36), 1));
  painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 8, 8);
  painter.setPen(QColor(195, 203, 220));
  painter.setFont(pixelFont(17, QFont::Bold));
  painter.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("T"));
  return pixmap;
}

}  // namespace

Sidebar::Sidebar(QWidget* parent)
    : QWidget(parent),
      tagline_(makeLabel("caption", this)),
      credit_(makeLabel("caption", this)),
      group_(new QButtonGroup(this)),
      quit_(new QPushButton(this)) {
  setFixedWidth(width);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 22, 16, 18);
  layout->setSpacing(4);
  layout->addWidget(new BrandMark(48, this));
  layout->addSpacing(8);
  auto* name = new QLabel(QStringLiteral("Tavuno"), this);
  name->setFont(pixelFont(22, QFont::Bold));
  layout->addWidget(name);
  layout->addWidget(tagline_);
  layout->addSpacing(22);
  group_->setExclusive(true);
  for (int i = 0; i < sectionCount; ++i) {
    auto* button = new QPushButton(this);
    button->setObjectName(QStringLiteral("sectionButton"));
    button->setCheckable(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(18, 18));
    button->installEventFilter(this);
    group_->addButton(button, i);
    buttons_.push_back(button);
    layout->addWidget(button);
  }
  layout->addStretch(1);
  quit_->setObjectName(QStringLiteral("quitButton"));
  quit_->setProperty("flat", true);
  quit_->setCursor(Qt::PointingHandCursor);
  quit_->setIcon(symbolIcon("power", colors::secondary, 16));
  layout->addWidget(quit_, 0, Qt::AlignLeft);
  layout->addSpacing(12);
  connect(quit_, &QPushButton::clicked, this, &Sidebar::quitChosen);
  auto* creditRow = new QHBoxLayout;
  creditRow->setSpacing(10);
  auto* mark = new QLabel(this);
  mark->setPixmap(makerMark(devicePixelRatioF()));
  mark->setFixedSize(32, 32);
  creditRow->addWidget(mark);
  credit_->setWordWrap(false);
  creditRow->addWidget(credit_, 1);
  layout->addLayout(creditRow);
  connect(group_, &QButtonGroup::idClicked, this, &Sidebar::sectionChosen);
  buttons_.front()->setChecked(true);
  retranslate();
}

void Sidebar::select(int section) {
  if (section >= 0 && section < sectionCount) buttons_[section]->setChecked(true);
}

int Sidebar::selected() const {
  return group_->checkedId();
}

void Sidebar::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

// Up and down move between the sections and open the one reached.
bool Sidebar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      const int current = group_->id(static_cast<QAbstractButton*>(watched));
      const int next = (current + (key == Qt::Key_Down ? 1 : sectionCount - 1)) % sectionCount;
      buttons_[next]->setFocus(Qt::TabFocusReason);
      buttons_[next]->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Sidebar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), colors::sidebar);
  painter.setPen(QColor(255, 255, 255, 14));
  painter.drawLine(rect().topRight(), rect().bottomRight());
}

void Sidebar::retranslate() {
  tagline_->setText(tr("Your Mac. Your Sound."));
  credit_->setText(QStringLiteral("by TobrinLabs"));
  quit_->setText(tr("Encerrar Tavuno"));
  for (int i = 0; i < sectionCount; ++i) {
    const Section& entry = section(i);
    buttons_[i]->setText(QStringLiteral("  ") + tr(entry.key));
    buttons_[i]->setIcon(symbolIcon(entry.icon, QColor(210, 218, 235)));
    buttons_[i]->setAccessibleName(tr(entry.key));
  }
}

}  // namespace tavuno::ui
