// The tavuno executable against the running app on a private session bus:
// the app runs in this process on the demo scene, the commands in child
// processes.
#include <gtest/gtest.h>

#include <QDBusConnection>

#include "app/TavunoApp.h"
#include "app/control/ControlService.h"
#include "scripting/TavunoRun.h"
#include "ui/AppFixture.h"
#include "ui/QtWait.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MuteAction.h"

namespace tavuno {
namespace {

using test::runTavuno;

class CommandLineOnBus : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    bus = test::PrivateBus::start(why);
    ASSERT_TRUE(bus) << why;
    AppOptions options;
    options.demo = true;
    options.background = true;
    auto settings = std::make_unique<InMemoryDefaultsStore>();
    settings->set("languagePreference", std::string("en"));
    options.settings = std::move(settings);
    options.platform = TavunoApp::demoPlatform();
    options.desktop = TavunoApp::simulatedDesktop();
    options.tray = [] { return std::make_unique<test::FakeTray>(); };
    app = std::make_unique<TavunoApp>(std::move(options));
    ASSERT_TRUE(test::waitUntil([&] { return service().state().controlledApps.size() == 3; }));
  }
  // Puts the app on the bus, as main() does.
  void publish() {
    control = std::make_unique<ControlService>(bus->connect());
    ASSERT_EQ(control->publish(), ControlService::Claim::claimed);
    control->attach(app->service(), [this] { app->window()->open(); });
  }
  void TearDown() override {
    control.reset();
    app.reset();
  }
  AudioService& service() { return *app->service(); }
  static constexpr const char* player = "org.tavuno.demo.Player";

  std::unique_ptr<test::PrivateBus> bus;
  std::unique_ptr<TavunoApp> app;
  std::unique_ptr<ControlService> control;
};

TEST_F(CommandLineOnBus, StatusShowsWhatTheAppDidAndTheAppShowsWhatCommandsDid) {
  publish();
  ASSERT_FALSE(service().state().muted);
  app->muteAction()->trigger();  // the window's Ctrl+Shift+M
  auto run = runTavuno(*bus, {"status", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  auto status = nlohmann::json::parse(run.out.toStdString());
  EXPECT_EQ(status["muted"], true);
  EXPECT_EQ(status["defaultOutput"]["name"], "Built-in Speakers");
  EXPECT_EQ(status["apps"].size(), 3u);

  run = runTavuno(*bus, {"mute", "off"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_FALSE(service().state().muted);
  ASSERT_TRUE(test::waitUntil([&] { return app->muteAction()->text() == "Mute output"; }))
      << "the window's action follows: " << app->muteAction()->text().toStdString();

  ASSERT_EQ(runTavuno(*bus, {"volume", "30"}).exitCode, 0);
  EXPECT_FLOAT_EQ(service().state().volume, 0.3f);
  ASSERT_EQ(runTavuno(*bus, {"app", "volume", "Music Player", "35"}).exitCode, 0);
  EXPECT_FLOAT_EQ(service().settings(player).volume(), 0.35f);
  ASSERT_EQ(runTavuno(*bus, {"output", "demo.headset"}).exitCode, 0);
  EXPECT_EQ(service().state().devices.at(1).uid, "demo.headset");
  EXPECT_EQ(service().state().defaultOutput, service().state().devices.at(1).id);

  run = runTavuno(*bus, {"volume"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.trimmed().toInt(),
            static_cast<int>(std::lround(service().state().volume * 100)));
}

TEST_F(CommandLineOnBus, FailuresSayWhyAndBadArgumentsAreUsageErrors) {
  publish();
  auto run = runTavuno(*bus, {"app", "mute", "Nope"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.trimmed().toStdString(), "No app playing audio is called Nope.");
  run = runTavuno(*bus, {"output", "Nowhere"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.trimmed().toStdString(), "No output device is called Nowhere.");
  run = runTavuno(*bus, {"volume", "loud"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.err.contains("Invalid volume: loud")) << run.err.toStdString();
  EXPECT_EQ(runTavuno(*bus, {"app", "volume", "Music Player", "101"}).exitCode, 2);
  EXPECT_FLOAT_EQ(service().settings(player).volume(), 0.8f) << "untouched";
}

TEST_F(CommandLineOnBus, WithoutTheAppTheCommandsSayItIsNotRunning) {
  auto run = runTavuno(*bus, {"status"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err.trimmed().toStdString(), "Tavuno is not running.");
  // Not even a bus.
  const auto home = QString::fromStdString(bus->folder());
  EXPECT_EQ(runTavuno(QStringLiteral("unix:path=") + home + QStringLiteral("/none"), home, {"mute"})
                .exitCode,
            3);
}

TEST_F(CommandLineOnBus, ChangedNamesWhatChangedOnceForABurst) {
  publish();
  test::ChangedRecorder recorder;
  auto watcher = bus->connect();
  ASSERT_TRUE(watcher.connect(QString(), QStringLiteral(TAVUNO_OBJECT_PATH),
                              QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("Changed"),
                              &recorder, SLOT(changed(QStringList))));
  // Two changes in one turn of the loop: one signal names both.
  service().setMute(true);
  service().setVolume(0.2f);
  ASSERT_TRUE(test::waitUntil([&] { return !recorder.signals_.isEmpty(); }));
  EXPECT_TRUE(recorder.signals_.first().contains("muted"));
  EXPECT_TRUE(recorder.signals_.first().contains("volume"));

  recorder.signals_.clear();
  ASSERT_EQ(runTavuno(*bus, {"app", "mute", "Music Player", "on"}).exitCode, 0);
  ASSERT_TRUE(test::waitUntil([&] {
    for (const auto& parts : recorder.signals_)
      if (parts.contains("apps")) return true;
    return false;
  }));
}

TEST_F(CommandLineOnBus, ASecondTavunoShowsTheFirstOnesWindowAndLeaves) {
  publish();
  ASSERT_FALSE(app->window()->isVisible()) << "started in the background";
  const auto run = runTavuno(*bus, {});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::waitUntil([&] { return app->window()->isVisible(); }));
}

}  // namespace
}  // namespace tavuno
