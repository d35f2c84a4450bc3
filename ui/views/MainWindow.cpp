#include "ui/views/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/bridge/SettingsBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/AutomationsView.h"
#include "ui/views/DevicesView.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/MixerView.h"
#include "ui/views/OnboardingView.h"
#include "ui/views/ProfilesView.h"
#include "ui/views/SettingsView.h"
#include "ui/views/Sidebar.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/BrandMark.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

MainWindow::MainWindow(const ScreenContext& context, QWidget* parent)
    : QWidget(parent),
      sidebar_(new Sidebar(this)),
      title_(makeLabel("title")),
      subtitle_(makeLabel("subtitle")),
      error_(new ErrorLine(context.service)),
      scroll_(new QScrollArea(this)),
      pages_(new QWidget),
      mixer_(new MixerView(context.service, context.meters)),
      devices_(new DevicesView(context.service, context.meters)),
      profiles_(new ProfilesView(context.service)),
      automations_(new AutomationsView(context)),
      settings_(new SettingsView(context)),
      onboarding_(new OnboardingView(context, this)),
      settingsStore_(context.settings) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QStringLiteral("Tavuno"));
  setMinimumSize(minimumWidth, minimumHeight);
  // Where the user left it; Qt checks the record and keeps the window on a
  // screen that is there now.
  if (!restoreGeometry(context.settings.windowGeometry())) resize(1040, 760);
  QIcon icon;
  for (int size : {16, 32, 64, 128, 256})
    icon.addPixmap(BrandMark::render(size));
  setWindowIcon(icon);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(sidebar_);

  // The content scrolls; its column is centred and at most 900 px wide.
  auto* scroll = scroll_;
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
  // One section shown at a time. Not a stacked widget: its height would be
  // the tallest section's (wrapped text counts whether shown or not), and the
  // short ones would scroll into empty space.
  auto* stack = new QVBoxLayout(pages_);
  stack->setContentsMargins(0, 0, 0, 0);
  for (QWidget* page : {static_cast<QWidget*>(mixer_), static_cast<QWidget*>(devices_),
                        static_cast<QWidget*>(profiles_), static_cast<QWidget*>(automations_),
                        static_cast<QWidget*>(settings_)}) {
    page->hide();
    stack->addWidget(page);
    sections_.push_back(page);
  }
  content->addWidget(pages_, 1);
  scroll->setWidget(canvas);
  layout->addWidget(scroll, 1);

  connect(sidebar_, &Sidebar::sectionChosen, this, &MainWindow::selectSection);
  setTabOrder(sidebar_->button(sectionCount - 1), error_);
  connect(&context.settings, &SettingsBridge::onboardingChanged, this,
          [this](bool done) { showOnboarding(!done); });
  addQuit();
  selectSection(0);
  showOnboarding(!context.settings.onboardingDone());
  addNavigationKeys();
}

void MainWindow::addNavigationKeys() {
  // Ctrl+1…5 pick the sections, as the sidebar lists them; not while the
  // guide covers the window.
  for (int index = 0; index < sectionCount; ++index) {
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + index)), this);
    connect(key, &QShortcut::activated, this, [this, index] {
      if (onboarding_->isVisible()) return;
      selectSection(index);
      sidebar_->button(index)->setFocus(Qt::ShortcutFocusReason);
    });
  }
  auto* closing = new QShortcut(QKeySequence::Close, this);
  connect(closing, &QShortcut::activated, this, &QWidget::close);
}

MainWindow::~MainWindow() {
  if (isVisible()) keepGeometry();
}

void MainWindow::keepGeometry() {
  settingsStore_.setWindowGeometry(saveGeometry());
}

void MainWindow::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) keepGeometry();  // closed, not minimised
  QWidget::hideEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape reaches the window only when the focused control had no use for
  // it (an open list or an editor keeps its own).
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::addQuit() {
  // Closing only hides the window, so without a tray this is the way out.
  auto* quit = new QAction(this);
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // the same on every desktop
  quit->setShortcutContext(Qt::WindowShortcut);
  addAction(quit);
  connect(quit, &QAction::triggered, this, &MainWindow::quitRequested);
  connect(sidebar_, &Sidebar::quitChosen, this, &MainWindow::quitRequested);
}

void MainWindow::selectSection(int index) {
  if (index < 0 || index >= sectionCount) return;
  sidebar_->select(index);
  // Hide first, so only one section is ever visible (the meters count it).
  for (int i = 0; i < sectionCount; ++i)
    if (i != index) sections_[i]->hide();
  sections_[index]->show();
  current_ = index;
  retranslate();
}

int MainWindow::section() const {
  return current_;
}

void MainWindow::open() {
  if (!isVisible()) selectSection(0);
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  // The keyboard starts on the selected section, where the focus ring and
  // the selection coincide; or in the guide while it shows.
  if (onboarding_->isVisible())
    onboarding_->focusStep();
  else
    sidebar_->button(section())->setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::showOnboarding(bool show) {
  // Disabled, the window beneath takes neither the keyboard nor clicks: Tab
  // cycles within the guide.
  sidebar_->setEnabled(!show);
  scroll_->setEnabled(!show);
  onboarding_->setGeometry(rect());
  onboarding_->setVisible(show);
  if (show) {
    onboarding_->raise();
    onboarding_->setStep(0);
    if (isVisible()) onboarding_->focusStep();
  } else if (isVisible()) {
    sidebar_->button(std::max(0, section()))->setFocus(Qt::OtherFocusReason);
  }
}

int MainWindow::contentHeight() const {
  // The column above the section, the section, and the canvas's margin.
  const QWidget* page = sections_[current_];
  const int above = pages_->mapTo(scroll_->widget(), QPoint(0, 0)).y();
  const int margin = scroll_->widget()->layout()->contentsMargins().bottom();
  const int height =
      page->hasHeightForWidth() ? page->heightForWidth(page->width()) : page->sizeHint().height();
  return above + height + margin;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  onboarding_->setGeometry(rect());
  QWidget::resizeEvent(event);
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
  const Section& current = tavuno::section(current_);
  title_->setText(tr(current.key));
  subtitle_->setText(tr(current.subtitle));
}

}  // namespace tavuno::ui
