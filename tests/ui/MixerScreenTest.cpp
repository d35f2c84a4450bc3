#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include "ui/AppFixture.h"
#include "ui/bridge/MeterFeed.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/views/AppRow.h"
#include "ui/views/AppsView.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/TrayPanel.h"
#include "ui/views/VolumeView.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

class MixerScreen : public test::AppFixture {
 protected:
  ui::AppRow& playerRow() {
    auto* row = app->window()->mixer()->apps()->row(player);
    if (!row) throw std::runtime_error("no row");
    return *row;
  }
};

TEST_F(MixerScreen, ControlsOfARowReachTheServiceWithTheirValues) {
  app->window()->open();
  auto& row = playerRow();
  QTest::mouseClick(row.muteButton(), Qt::LeftButton);
  EXPECT_TRUE(service().settings(player).muted());

  // The output picker: the USB interface, then the system default again.
  const auto& entries = row.outputBox()->picker().entries;
  int usb = -1;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].uid == "demo.interface") usb = static_cast<int>(i);
  ASSERT_GT(usb, 0);
  emit row.outputBox()->activated(usb);
  EXPECT_EQ(service().settings(player).outputUID(), "demo.interface");
  emit row.outputBox()->activated(0);
  EXPECT_EQ(service().settings(player).outputUID(), std::nullopt);

  // A key on the slider sends its new value at once.
  row.slider()->setFocus();
  QTest::keyClick(row.slider(), Qt::Key_Left);
  ASSERT_TRUE(processEventsUntil([&] { return service().settings(player).volume() < 0.8f; }));
  EXPECT_FLOAT_EQ(service().settings(player).volume(), 0.79f);

  // The output volume's mute button.
  auto* volume = app->window()->mixer()->volume();
  QTest::mouseClick(volume->muteButton(), Qt::LeftButton);
  EXPECT_TRUE(service().state().muted);
}

// A refresh must not rebuild rows: the same widget stays, with the keyboard
// focus, and shows the new value; a slider the user holds stays put.
TEST_F(MixerScreen, APublishedChangeUpdatesTheRowInPlaceAndLeavesAHeldSliderAlone) {
  app->window()->open();
  QApplication::setActiveWindow(app->window());
  auto* row = &playerRow();
  row->slider()->setFocus();
  ASSERT_TRUE(processEventsUntil([&] { return QApplication::focusWidget() == row->slider(); }));

  service().setAppMix(activeApp(player), 0.3f, std::nullopt);
  service().refresh();
  deliver();
  EXPECT_EQ(&playerRow(), row) << "the row was kept";
  EXPECT_EQ(row->slider()->value(), 30);
  EXPECT_EQ(QApplication::focusWidget(), row->slider()) << "focus survived the update";

  row->slider()->setSliderDown(true);
  service().setAppMix(activeApp(player), 0.9f, std::nullopt);
  deliver();
  EXPECT_EQ(row->slider()->value(), 30) << "held by the user";
  row->slider()->setSliderDown(false);
  service().setAppMix(activeApp(player), 0.6f, std::nullopt);
  deliver();
  EXPECT_EQ(row->slider()->value(), 60);
}

TEST_F(MixerScreen, DismissingTheErrorInThePanelClearsItEverywhere) {
  app->window()->open();
  service().setError(std::string("Falhou."));
  deliver();
  EXPECT_TRUE(app->window()->errorLine()->isVisible());
  app->panel()->popup(QPoint(100, 100));
  ASSERT_TRUE(app->panel()->errorLine()->isVisible());
  QTest::mouseClick(app->panel()->errorLine()->dismissButton(), Qt::LeftButton);
  deliver();
  EXPECT_FALSE(service().state().error);
  EXPECT_FALSE(app->window()->errorLine()->isVisible());
}

// Meters read the sessions only while a mixer is on screen.
TEST_F(MixerScreen, MetersRunOnlyWhileAMixerIsVisibleAndShowTheAudio) {
  auto* meters = app->meters();
  EXPECT_FALSE(meters->running()) << "nothing is shown at start in the tests";
  app->window()->open();
  EXPECT_TRUE(meters->running());
  ASSERT_TRUE(processEventsUntil([&] { return playerRow().meter()->level() > 0.3; }))
      << "the demo's music reaches the meter";
  app->window()->selectSection(1);
  EXPECT_TRUE(meters->running()) << "devices shown: the input's level only";
  app->window()->selectSection(2);
  EXPECT_FALSE(meters->running()) << "profiles shown: no meter visible";
  app->panel()->popup(QPoint(50, 50));
  EXPECT_TRUE(meters->running());
  app->panel()->hide();
  app->window()->hide();
  EXPECT_FALSE(meters->running());
}

// Counts the tooltips a widget is given: the volume's render gives its mute
// button one each time it runs while the output can be muted.
class ToolTipCount : public QObject {
 public:
  explicit ToolTipCount(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::ToolTipChange) ++count;
    return false;
  }
};

// A view renders once for all the changes of its fields in a turn, not at all
// for the service's other fields, and again in a new language.
TEST_F(MixerScreen, TheVolumeRendersOncePerTurnOfItsFieldsAndAgainOnALanguageChange) {
  auto* volume = app->window()->mixer()->volume();
  ASSERT_TRUE(service().state().muteAvailable);
  ToolTipCount renders(volume->muteButton());

  service().setVolume(0.3f);
  service().setMute(true);
  service().setVolume(0.4f);
  deliver();
  EXPECT_EQ(renders.count, 1) << "three changes, one render";
  EXPECT_EQ(volume->slider()->value(), 40);
  EXPECT_EQ(volume->muteButton()->toolTip(), "Reativar saída");

  service().setError(std::string("Falhou."));
  deliver();
  EXPECT_EQ(renders.count, 1) << "the error is not the volume's";

  app->settingsBridge()->setLanguagePreference("en");
  deliver();
  EXPECT_EQ(renders.count, 2);
  EXPECT_EQ(volume->muteButton()->toolTip(), "Unmute output");
}

TEST_F(MixerScreen, TrayGesturesToggleThePanelMuteAndStepTheVolume) {
  ASSERT_TRUE(tray && tray->shown);
  tray->handlers.activated(QPoint(40, 40));
  EXPECT_TRUE(app->panel()->isVisible());
  tray->handlers.activated(QPoint(40, 40));
  EXPECT_FALSE(app->panel()->isVisible());

  // A click on the icon while the panel is open: the press takes the focus
  // (the panel hides), then the click arrives; the panel stays closed, and
  // the next click opens it.
  tray->handlers.activated(QPoint(40, 40));
  QApplication::setActiveWindow(app->panel());
  ASSERT_TRUE(processEventsUntil([&] { return app->panel()->isActiveWindow(); }));
  QWidget elsewhere;
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  ASSERT_TRUE(processEventsUntil([&] { return !app->panel()->isVisible(); }))
      << "hides on focus loss";
  tray->handlers.activated(QPoint(40, 40));
  EXPECT_FALSE(app->panel()->isVisible()) << "the click that took the focus closes it";
  tray->handlers.activated(QPoint(40, 40));
  EXPECT_TRUE(app->panel()->isVisible()) << "the next click opens it";
  app->panel()->hide();

  tray->handlers.middleClicked();
  EXPECT_TRUE(service().state().muted);
  deliver();
  EXPECT_EQ(tray->toolTip, "Tavuno — saída silenciada");
  tray->handlers.middleClicked();
  EXPECT_FALSE(service().state().muted);

  const float before = service().state().volume;  // 0.62 in the demo
  tray->handlers.scrolled(1);
  EXPECT_NEAR(service().state().volume, 0.65f, 0.005f) << "from " << before;
  tray->handlers.scrolled(-2);
  EXPECT_NEAR(service().state().volume, 0.55f, 0.005f);
}

// Started in the tray, Tavuno leaves the style sheet until something is shown:
// whatever is shown first must come styled.
class LaterTheme : public MixerScreen {
 protected:
  void SetUp() override {
    style = QApplication::style()->name();
    palette = QApplication::palette();
    font = QApplication::font();
    ui::applyThemeLater(*qApp);
    MixerScreen::SetUp();
    ASSERT_TRUE(qApp->styleSheet().isEmpty());
  }
  void TearDown() override {
    MixerScreen::TearDown();
    ui::applyPendingStyleSheet();
    qApp->setStyleSheet({});
    QApplication::setStyle(style);
    QApplication::setPalette(palette);
    QApplication::setFont(font);
  }
  QString style;
  QPalette palette;
  QFont font;
};

TEST_F(LaterTheme, TheTrayMenuComesStyled) {
  emit tray->menu->aboutToShow();
  EXPECT_FALSE(qApp->styleSheet().isEmpty());
}

TEST_F(LaterTheme, ThePanelComesStyledAtTheFirstClick) {
  tray->handlers.activated(QPoint(40, 40));
  EXPECT_FALSE(qApp->styleSheet().isEmpty());
  EXPECT_TRUE(app->panel()->isVisible());
}

}  // namespace
}  // namespace tavuno
