#include "ui/views/MainWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/model/ViewTexts.h"
#include "ui/views/DevicesView.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/MixerView.h"
#include "ui/views/Sidebar.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/BrandMark.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

MainWindow::MainWindow(ServiceBridge& bridge, MeterFeed& meters, QWidget* parent)
    : QWidget(parent),
      sidebar_(new Sidebar(this)),
      title_(makeLabel("title")),
      subtitle_(makeLabel("subtitle")),
      error_(new ErrorLine(bridge)),
      pages_(new QStackedWidget),
      mixer_(new MixerView(bridge, meters)),
      devices_(new DevicesView(bridge)) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QStringLiteral("Tavuno"));
  setMinimumSize(minimumWidth, minimumHeight);
  resize(1040, 760);
  QIcon icon;
  for (int size : {16, 32, 64, 128, 256})
    icon.addPixmap(BrandMark::render(size));
  setWindowIcon(icon);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(sidebar_);

  // The content scrolls; its column is centred and at most 900 px wide.
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* canvas = new QWidget;
  auto* centring = new QHBoxLayout(canvas);
  centring->setContentsMargins(32, 30, 32, 32);
  auto* column = new QWidget;
  column->setMaximumWidth(contentWidth);
  centring->addStretch(0);
  centring->addWidget(column, 1);
  centring->addStretch(0);
  auto* content = new QVBoxLayout(column);
  content->setContentsMargins(0, 0, 0, 0);
  content->setSpacing(4);
  content->addWidget(title_);
  content->addWidget(subtitle_);
  content->addSpacing(16);
  content->addWidget(error_);
  content->addSpacing(4);
  pages_->addWidget(mixer_);
  pages_->addWidget(devices_);
  // Profiles, automations and settings show their title and subtitle only
  // until their screens exist.
  for (int i = 2; i < sectionCount; ++i)
    pages_->addWidget(new QWidget);
  content->addWidget(pages_, 1);
  scroll->setWidget(canvas);
  layout->addWidget(scroll, 1);

  connect(sidebar_, &Sidebar::sectionChosen, this, &MainWindow::selectSection);
  setTabOrder(sidebar_->button(sectionCount - 1), error_);
  retranslate();
}

void MainWindow::selectSection(int index) {
  if (index < 0 || index >= sectionCount) return;
  sidebar_->select(index);
  pages_->setCurrentIndex(index);
  // A page's height follows its own content, not the tallest page.
  for (int i = 0; i < pages_->count(); ++i)
    pages_->widget(i)->setSizePolicy(QSizePolicy::Preferred,
                                     i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored);
  retranslate();
}

int MainWindow::section() const {
  return pages_->currentIndex();
}

void MainWindow::open() {
  if (!isVisible()) selectSection(0);
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  // The keyboard starts on the selected section, where the focus ring and
  // the selection coincide.
  sidebar_->button(section())->setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Tavuno keeps running in the tray; the window is only hidden.
  hide();
  event->ignore();
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), colors::navy);
}

void MainWindow::retranslate() {
  const Section& current = tavuno::section(std::max(0, pages_->currentIndex()));
  title_->setText(tr(current.key));
  subtitle_->setText(tr(current.subtitle));
}

}  // namespace tavuno::ui
