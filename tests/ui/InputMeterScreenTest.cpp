#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include "ui/AppFixture.h"
#include "ui/bridge/MeterFeed.h"
#include "ui/views/DevicesView.h"
#include "ui/views/InputLevelView.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/TrayPanel.h"
#include "ui/views/VolumeView.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/VolumeSlider.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

class InputMeterScreen : public test::AppFixture {
 protected:
  ui::VolumeView& mixerInput() { return *app->window()->mixer()->inputVolume(); }
  InputMeterStatus status() { return service().state().inputMeter; }
  AudioObjectID inputOf(const std::string& uid) {
    for (const auto& device : service().state().devices)
      if (device.uid == uid && device.input) return device.id;
    throw std::runtime_error("no input " + uid);
  }
};

// The demo's microphone hears someone talking: each screen that shows the
// input's level meters it while it is on screen, and only then.
TEST_F(InputMeterScreen, EveryScreenWithTheInputsLevelMetersItOnlyWhileShown) {
  EXPECT_EQ(status(), InputMeterStatus::off) << "nothing is shown at start in the tests";
  app->window()->open();
  EXPECT_EQ(status(), InputMeterStatus::live);
  ASSERT_TRUE(processEventsUntil([&] { return mixerInput().level()->meter()->level() > 0.2; }))
      << "the microphone reaches the mixer's meter";
  EXPECT_FALSE(mixerInput().level()->testButton()->isVisible());

  app->window()->selectSection(1);
  auto* devices = app->window()->devices()->inputLevel();
  ASSERT_TRUE(processEventsUntil([&] { return devices->meter()->level() > 0.2; }))
      << "and the Devices screen's";
  app->window()->selectSection(2);
  EXPECT_EQ(status(), InputMeterStatus::off) << "profiles shown: no input meter";

  app->window()->hide();
  app->panel()->popup(QPoint(50, 50));
  EXPECT_EQ(status(), InputMeterStatus::live);
  ASSERT_TRUE(processEventsUntil([&] {
    return app->panel()->inputVolume()->level()->meter()->level() > 0.2;
  })) << "and the panel's";
  app->panel()->hide();
  EXPECT_EQ(status(), InputMeterStatus::off);
  EXPECT_FALSE(app->meters()->running());
}

TEST_F(InputMeterScreen, TheInputsMuteAndWheelReachTheServiceFromTheMixerAndThePanel) {
  app->window()->open();
  deliver();
  ASSERT_TRUE(service().state().inputMuteAvailable);
  QTest::mouseClick(mixerInput().muteButton(), Qt::LeftButton);
  EXPECT_TRUE(service().state().inputMuted);
  deliver();
  EXPECT_EQ(mixerInput().muteButton()->toolTip(), "Reativar entrada");
  EXPECT_TRUE(mixerInput().muteButton()->isChecked());
  EXPECT_FALSE(service().state().muted) << "the output is not the input";

  app->window()->hide();
  app->panel()->popup(QPoint(50, 50));
  deliver();
  auto* panelInput = app->panel()->inputVolume();
  EXPECT_TRUE(panelInput->muteButton()->isChecked()) << "the panel shows the same state";
  QTest::mouseClick(panelInput->muteButton(), Qt::LeftButton);
  EXPECT_FALSE(service().state().inputMuted);

  const float before = service().state().inputVolume;  // 0.74 in the demo
  const QPointF at = QRectF(panelInput->slider()->rect()).center();
  QWheelEvent wheel(at, panelInput->slider()->mapToGlobal(at), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(panelInput->slider(), &wheel);
  EXPECT_TRUE(processEventsUntil([&] { return service().state().inputVolume > before; }));
}

TEST_F(InputMeterScreen, ABluetoothMicrophoneIsMeteredOnlyAfterTestarIsPressed) {
  app->window()->open();
  ASSERT_TRUE(service().setDefault(inputOf("demo.headset"), true));
  ASSERT_TRUE(processEventsUntil([&] { return status() == InputMeterStatus::awaitingTest; }));
  deliver();
  auto* level = mixerInput().level();
  EXPECT_FALSE(level->meter()->isVisible());
  ASSERT_TRUE(level->testButton()->isVisible());
  EXPECT_EQ(level->testButton()->text(), "Testar");
  EXPECT_EQ(level->caption()->text(),
            "Medir um microfone Bluetooth muda o fone para o modo de chamada.");

  QTest::mouseClick(level->testButton(), Qt::LeftButton);
  EXPECT_EQ(status(), InputMeterStatus::testing);
  deliver();
  EXPECT_TRUE(level->meter()->isVisible());
  EXPECT_EQ(level->testButton()->text(), "Parar teste");
  ASSERT_TRUE(processEventsUntil([&] { return level->meter()->level() > 0.2; }));

  QTest::mouseClick(level->testButton(), Qt::LeftButton);
  EXPECT_EQ(status(), InputMeterStatus::awaitingTest);
  deliver();
  EXPECT_FALSE(level->meter()->isVisible());

  // Leaving the screen ends a test.
  QTest::mouseClick(level->testButton(), Qt::LeftButton);
  app->window()->selectSection(2);
  app->window()->selectSection(0);
  EXPECT_EQ(status(), InputMeterStatus::awaitingTest);
}

}  // namespace
}  // namespace tavuno
