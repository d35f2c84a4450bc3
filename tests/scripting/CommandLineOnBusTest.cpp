// The tavuno executable against the running app on a private session bus:
// the app runs in this process on the demo scene, the commands in child
// processes.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>

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

TEST_F(CommandLineOnBus, ProfilesAreRenamedAndDeletedAndALimitIsABadArgument) {
  publish();
  auto named = [&](const std::string& name) {
    const auto& profiles = service().state().profiles;
    return std::count_if(profiles.begin(), profiles.end(),
                         [&](const AudioProfile& p) { return p.name == name; });
  };
  auto run = runTavuno(*bus, {"profile", "save", "Night"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  run = runTavuno(*bus, {"profile", "rename", "Night", "Late night"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(named("Night"), 0);
  EXPECT_EQ(named("Late night"), 1);

  run = runTavuno(*bus, {"profile", "rename", "Late night", QString(201, QLatin1Char('n'))});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err.trimmed().toStdString(), "Use at most 200 characters in the profile name.");
  run = runTavuno(*bus, {"profile", "delete", "Nope"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.trimmed().toStdString(), "No profile is called Nope.");

  // Over D-Bus a name of 8 MiB is an invalid argument, and nothing is saved.
  const std::size_t before = service().state().profiles.size();
  auto call = QDBusMessage::createMethodCall(
      QStringLiteral(TAVUNO_BUS_NAME), QStringLiteral(TAVUNO_OBJECT_PATH),
      QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("SaveProfile"));
  call.setArguments({QString(8 << 20, QLatin1Char('x'))});
  auto caller = bus->connect();
  auto pending = caller.asyncCall(call);
  ASSERT_TRUE(test::waitUntil([&] { return pending.isFinished(); }));
  EXPECT_EQ(pending.error().name(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
  EXPECT_EQ(service().state().profiles.size(), before);

  run = runTavuno(*bus, {"profile", "delete", "Late night"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(named("Late night"), 0);
  EXPECT_EQ(service().state().profiles.size(), before - 1);
}

TEST_F(CommandLineOnBus, QtsOwnOptionsWithAValueAreLeftToQt) {
  publish();
  // A second Tavuno asked to start in the background leaves at once.
  for (const QStringList& arguments : {QStringList{"-platform", "offscreen", "--background"},
                                       QStringList{"-display", ":1", "--background"}}) {
    const auto run = runTavuno(*bus, arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << ": "
                               << run.err.toStdString();
  }
  // With a command, the command runs.
  const auto run = runTavuno(*bus, {"-platform", "offscreen", "volume"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.trimmed().toInt(),
            static_cast<int>(std::lround(service().state().volume * 100)));
}

TEST_F(CommandLineOnBus, WithoutTheAppTheCommandsSayItIsNotRunning) {
  auto run = runTavuno(*bus, {"status"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err.trimmed().toStdString(), "Tavuno is not running.");
  run = runTavuno(*bus, {"quit"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err.trimmed().toStdString(), "Tavuno is not running.");
  // Not even a bus.
  const auto home = QString::fromStdString(bus->folder());
  EXPECT_EQ(runTavuno(QStringLiteral("unix:path=") + home + QStringLiteral("/none"), home, {"mute"})
                .exitCode,
            3);
}

// The desktop file's Quit action runs `tavuno quit`: the app answers, then
// quits from its event loop.
TEST_F(CommandLineOnBus, QuitEndsTheRunningApp) {
  control = std::make_unique<ControlService>(bus->connect());
  ASSERT_EQ(control->publish(), ControlService::Claim::claimed);
  control->attach(
      app->service(), [] {}, [this] { app->quit(); });
  const auto run = runTavuno(*bus, {"quit"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.isEmpty());
  EXPECT_TRUE(test::waitUntil([&] { return app->isShutDown(); })) << "still running";
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
