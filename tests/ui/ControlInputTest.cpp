#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>

#include "ui/AppFixture.h"
#include "ui/views/AppRow.h"
#include "ui/views/AppsView.h"
#include "ui/views/AutomationsView.h"
#include "ui/views/DeviceList.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/DevicesView.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/ProfileSelector.h"
#include "ui/views/Sidebar.h"
#include "ui/views/VolumeView.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/TimeField.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

// The wheel as the window system delivers it: spontaneous, so an ignored
// event travels on to the parents as a real one does.
void wheel(QWidget* widget, int notches) {
  const QPointF at = QRectF(widget->rect()).center();
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&event);
  qApp->notify(widget, &event);
}

class ControlInput : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    window()->open();
    QApplication::setActiveWindow(window());
    deliver();
  }
  ui::MainWindow* window() { return app->window(); }
  QScrollBar* pageScroll() { return window()->findChild<QScrollArea*>()->verticalScrollBar(); }
  ui::AppRow& row(const std::string& id) { return *window()->mixer()->apps()->row(id); }
};

// Scrolling past a picker or the time field leaves it alone and scrolls the
// page; once the user has put the focus there, the wheel is theirs.
TEST_F(ControlInput, TheWheelScrollsThePagePastPickersAndTheTimeField) {
  auto* output = window()->mixer()->output()->box();
  auto* profile = window()->mixer()->profiles()->box();
  auto* route = row(player).outputBox();
  const auto defaultOutput = service().state().defaultOutput;
  const auto activeProfile = service().state().activeProfileID;
  const auto playerRoute = service().settings(player).outputUID();
  for (QWidget* picker : {static_cast<QWidget*>(output), static_cast<QWidget*>(profile),
                          static_cast<QWidget*>(route)}) {
    wheel(picker, -1);
    wheel(picker, -1);
  }
  deliver();
  EXPECT_EQ(service().state().defaultOutput, defaultOutput);
  EXPECT_EQ(service().state().activeProfileID, activeProfile);
  EXPECT_EQ(service().settings(player).outputUID(), playerRoute);

  window()->selectSection(3);
  deliver();
  ASSERT_GT(pageScroll()->maximum(), 0) << "the automations page scrolls at this size";
  auto* time = window()->automations()->timeField();
  const QTime before = time->time();
  wheel(time, -1);
  wheel(window()->automations()->devicePicker(), -1);
  EXPECT_EQ(time->time(), before);
  EXPECT_EQ(window()->automations()->devicePicker()->currentIndex(), 0);
  EXPECT_GT(pageScroll()->value(), 0) << "the wheel went on to the page";

  time->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(processEventsUntil([&] { return time->hasFocus(); }));
  wheel(time, 1);
  EXPECT_NE(time->time(), before) << "with the focus the wheel steps the time";

  window()->selectSection(0);
  deliver();
  output->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(processEventsUntil([&] { return output->hasFocus(); }));
  wheel(output, -1);
  deliver();
  EXPECT_NE(service().state().defaultOutput, defaultOutput) << "a focused picker takes it";
}

// The preferred devices' pickers on the Devices section follow the same rule, and they choose
// the preference, never the system's default device.
TEST_F(ControlInput, ThePreferredPickersTakeTheWheelOnlyWithTheFocus) {
  window()->selectSection(1);
  deliver();
  auto* output = window()->devices()->preferredOutput()->box();
  auto* input = window()->devices()->preferredInput()->box();
  const auto before = service().state();
  const int outputIndex = output->currentIndex();
  const int inputIndex = input->currentIndex();
  ASSERT_GT(outputIndex, 0) << "the demo prefers an output";
  wheel(output, -1);
  wheel(input, -1);
  deliver();
  EXPECT_EQ(service().state().preferredUID, before.preferredUID);
  EXPECT_EQ(service().state().preferredInputUID, before.preferredInputUID);
  EXPECT_EQ(output->currentIndex(), outputIndex);
  EXPECT_EQ(input->currentIndex(), inputIndex);

  for (QComboBox* box : {static_cast<QComboBox*>(output), static_cast<QComboBox*>(input)}) {
    box->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return box->hasFocus(); }));
    wheel(box, 1);  // up, towards "Nenhum"
    deliver();
  }
  EXPECT_NE(service().state().preferredUID, before.preferredUID) << "a focused picker takes it";
  EXPECT_EQ(output->currentIndex(), outputIndex - 1);
  EXPECT_EQ(service().state().defaultOutput, before.defaultOutput);
  EXPECT_EQ(service().state().defaultInput, before.defaultInput);
}

// Wheel, a click on the groove, keys and a drag all reach the service, and the
// thumb rests on what was sent: the output's slider, the input's and an app's.
TEST_F(ControlInput, EveryWayOfMovingASliderReachesTheService) {
  auto* output = window()->mixer()->volume()->slider();
  auto* input = window()->mixer()->inputVolume()->slider();
  auto* app = row(player).slider();
  struct Case {
    const char* name;
    ui::VolumeSlider* slider;
    std::function<float()> sent;
  } cases[] = {{"output", output, [&] { return service().state().volume; }},
               {"input", input, [&] { return service().state().inputVolume; }},
               {"app", app, [&] { return service().settings(player).volume(); }}};
  for (const Case& c : cases) {
    ui::VolumeSlider* slider = c.slider;
    SCOPED_TRACE(c.name);
    const std::function<bool()> agrees = [&] {
      return std::lround(c.sent() * 100) == slider->value();
    };
    auto sent = c.sent;
    slider->showValue(0.5f);
    const int start = slider->value();

    wheel(slider, 1);
    ASSERT_TRUE(processEventsUntil(agrees)) << slider->value() << " shown, " << sent() << " sent";
    EXPECT_GT(slider->value(), start);
    wheel(slider, -2);
    ASSERT_TRUE(processEventsUntil(agrees));
    EXPECT_LT(slider->value(), start);

    // A click at a quarter of the groove jumps there.
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() / 4, slider->height() / 2));
    ASSERT_TRUE(processEventsUntil(agrees));
    EXPECT_NEAR(slider->value(), 25, 6);

    slider->setFocus(Qt::TabFocusReason);
    for (auto key : {Qt::Key_End, Qt::Key_PageDown, Qt::Key_Left}) {
      QTest::keyClick(slider, key);
      ASSERT_TRUE(processEventsUntil(agrees)) << "after key " << key;
    }
    EXPECT_EQ(slider->value(), 94);
    QTest::keyClick(slider, Qt::Key_Home);
    ASSERT_TRUE(processEventsUntil(agrees));
    EXPECT_EQ(slider->value(), 0);

    // A drag from the handle to the far end, released there.
    const QPoint handle(6, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, handle);
    QMouseEvent move(QEvent::MouseMove, QPointF(slider->width() - 1, handle.y()),
                     slider->mapToGlobal(QPointF(slider->width() - 1, handle.y())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QSpontaneKeyEvent::setSpontaneous(&move);
    qApp->notify(slider, &move);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() - 1, handle.y()));
    ASSERT_TRUE(processEventsUntil(agrees));
    EXPECT_EQ(slider->value(), 100);
  }
}

TEST_F(ControlInput, TheKeyboardClosesTheWindowPicksSectionsAndWalksDeviceRows) {
  for (int section = 4; section >= 0; --section) {
    QTest::keyClick(window(), Qt::Key(Qt::Key_1 + section), Qt::ControlModifier);
    EXPECT_EQ(window()->section(), section);
    EXPECT_TRUE(window()->sidebar()->button(section)->hasFocus());
  }

  window()->selectSection(1);
  deliver();
  auto* outputs = window()->devices()->outputs();
  auto* speakers = outputs->row("demo.speakers");
  auto* headset = outputs->row("demo.headset");
  ASSERT_TRUE(speakers && headset);
  speakers->setFocus(Qt::TabFocusReason);
  QTest::keyClick(speakers, Qt::Key_Down);
  EXPECT_TRUE(headset->hasFocus());
  QTest::keyClick(headset, Qt::Key_Up);
  EXPECT_TRUE(speakers->hasFocus());
  QTest::keyClick(speakers, Qt::Key_Up);
  EXPECT_TRUE(speakers->hasFocus()) << "the first row stays the first";

  QTest::keyClick(speakers, Qt::Key_Escape);
  EXPECT_FALSE(window()->isVisible());
  window()->open();
  QApplication::setActiveWindow(window());
  ASSERT_TRUE(processEventsUntil([&] { return window()->isActiveWindow(); }));
  QTest::keyClick(window()->sidebar()->button(0), Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(window()->isVisible());
}

// What a screen reader hears of the repeated controls, and what a disabled
// button says about itself.
TEST_F(ControlInput, RepeatedControlsNameTheirRowAndStatesAreExposed) {
  for (const auto& active : service().state().activeApps) {
    auto& appRow = row(active.id);
    EXPECT_EQ(appRow.stopButton()->accessibleName(),
              QStringLiteral("Desativar ") + QString::fromStdString(active.name));
  }
  auto* mute = window()->mixer()->volume()->muteButton();
  EXPECT_FALSE(mute->isChecked());
  QTest::mouseClick(mute, Qt::LeftButton);
  deliver();
  EXPECT_TRUE(service().state().muted);
  EXPECT_TRUE(mute->isChecked()) << "the pressed state follows the output's mute";
  EXPECT_EQ(mute->toolTip(), "Reativar saída");

  auto* meter = row(player).findChild<ui::LevelMeter*>();
  ASSERT_TRUE(meter);
  meter->setLevel(0.42);
  QAccessibleInterface* level = QAccessible::queryAccessibleInterface(meter);
  ASSERT_TRUE(level && level->valueInterface());
  EXPECT_EQ(level->valueInterface()->currentValue().toInt(), 42);

  window()->selectSection(3);
  deliver();
  auto* create = window()->automations()->createButton(0);
  EXPECT_FALSE(create->isEnabled());
  EXPECT_EQ(create->toolTip(), "Escolha um dispositivo e um perfil.");
}

// Long real names (the demo has a long device and app name; here a long
// profile name too) never push a control out of the window at its minimum
// size: names end in "…" and show whole in their tooltip.
TEST_F(ControlInput, LongNamesLeaveEveryControlInsideTheSmallestWindow) {
  service().saveProfile(
      "Noite de cinema na sala com o projetor, o receptor e os alto-falantes de teto");
  window()->resize(ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight);
  for (int section = 0; section < 5; ++section) {
    SCOPED_TRACE(section);
    window()->selectSection(section);
    deliver();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QWidget* viewport = window()->findChild<QScrollArea*>()->viewport();
    const int contentRight = viewport->mapTo(window(), QPoint(viewport->width(), 0)).x();
    for (QWidget* control : window()->findChildren<QWidget*>()) {
      if (!control->isVisibleTo(window()) || control->window() != window()) continue;
      if (!qobject_cast<QAbstractButton*>(control) && !qobject_cast<QComboBox*>(control) &&
          !qobject_cast<QAbstractSlider*>(control))
        continue;
      const int end = control->mapTo(window(), QPoint(control->width(), 0)).x();
      const int right = viewport->isAncestorOf(control) ? contentRight : window()->width();
      EXPECT_LE(end, right) << control->metaObject()->className() << " "
                            << control->accessibleName().toStdString();
    }
  }
  window()->selectSection(2);
  deliver();
  bool cut = false;
  for (auto* name : window()->findChildren<ui::ElidedLabel*>())
    if (name->isVisibleTo(window()) && name->elided()) {
      cut = true;
      name->repaint();
      EXPECT_EQ(name->toolTip(), name->text());
    }
  EXPECT_TRUE(cut) << "the long profile name is cut short";
}

TEST_F(ControlInput, TheWindowComesBackAtTheSizeItWasLeftAt) {
  window()->resize(990, 700);
  window()->close();
  restart();
  EXPECT_EQ(window()->size(), QSize(990, 700));

  // A record that is not Qt's leaves the window at its usual size.
  app->settings().set("windowGeometry", Bytes{1, 2, 3});
  window()->close();
  app->settings().set("windowGeometry", Bytes{1, 2, 3});
  restart();
  EXPECT_EQ(window()->size(), QSize(1040, 760));
}

}  // namespace
}  // namespace tavuno
