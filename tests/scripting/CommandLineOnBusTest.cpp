// The tavuno executable against the running app on a private session bus:
// the app runs in this process on the demo scene, the commands in child
// processes.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include "app/TavunoApp.h"
#include "app/control/ControlService.h"
#include "control/StatusReport.h"
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
    ASSERT_TRUE(
        test::processEventsUntil([&] { return service().state().controlledApps.size() == 3; }));
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
  ASSERT_TRUE(test::processEventsUntil([&] { return app->muteAction()->text() == "Mute output"; }))
      << "the window's action follows: " << app->muteAction()->text().toStdString();

  ASSERT_EQ(runTavuno(*bus, {"volume", "30"}).exitCode, 0);
  EXPECT_FLOAT_EQ(service().state().volume, 0.3f);
  // The microphone's, through its own methods.
  ASSERT_EQ(runTavuno(*bus, {"input-volume", "40"}).exitCode, 0);
  EXPECT_FLOAT_EQ(service().state().inputVolume, 0.4f);
  EXPECT_FLOAT_EQ(service().state().volume, 0.3f);
  ASSERT_EQ(runTavuno(*bus, {"input-mute"}).exitCode, 0);
  EXPECT_TRUE(service().state().inputMuted);
  EXPECT_FALSE(service().state().muted);
  run = runTavuno(*bus, {"input-volume", "-5"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(runTavuno(*bus, {"input-volume"}).out.trimmed().toInt(), 35);
  ASSERT_EQ(runTavuno(*bus, {"app", "volume", "Music Player", "35"}).exitCode, 0);
  EXPECT_FLOAT_EQ(service().settings(player).volume(), 0.35f);
  ASSERT_EQ(runTavuno(*bus, {"output", "demo.headset"}).exitCode, 0);
  EXPECT_EQ(service().state().devices.at(1).uid, "demo.headset");
  EXPECT_EQ(service().state().defaultOutput, service().state().devices.at(1).id);

  run = runTavuno(*bus, {"volume"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.trimmed().toInt(),
            static_cast<int>(std::lround(service().state().volume * 100)));

  const bool automatic = service().state().automatic;
  ASSERT_EQ(runTavuno(*bus, {"auto-switch"}).exitCode, 0);
  EXPECT_EQ(service().state().automatic, !automatic);
  ASSERT_EQ(runTavuno(*bus, {"auto-switch", "on"}).exitCode, 0);
  EXPECT_TRUE(service().state().automatic);
  ASSERT_EQ(runTavuno(*bus, {"prefer", "demo.headset"}).exitCode, 0);
  EXPECT_EQ(service().state().preferredUID, "demo.headset");
  EXPECT_EQ(runTavuno(*bus, {"prefer", "Nowhere"}).exitCode, 1);
  EXPECT_EQ(service().state().preferredUID, "demo.headset");
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
  ASSERT_TRUE(test::processEventsUntil([&] { return pending.isFinished(); }));
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
  EXPECT_TRUE(test::processEventsUntil([&] { return app->isShutDown(); })) << "still running";
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
  ASSERT_TRUE(test::processEventsUntil([&] { return !recorder.signals_.isEmpty(); }));
  EXPECT_TRUE(recorder.signals_.first().contains("muted"));
  EXPECT_TRUE(recorder.signals_.first().contains("volume"));

  recorder.signals_.clear();
  ASSERT_EQ(runTavuno(*bus, {"app", "mute", "Music Player", "on"}).exitCode, 0);
  ASSERT_TRUE(test::processEventsUntil([&] {
    for (const auto& parts : recorder.signals_)
      if (parts.contains("apps")) return true;
    return false;
  }));
}

constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

// A call to the control object, answered while the event loop turns (the app
// answering it runs in this process).
QDBusMessage callControl(QDBusConnection& caller, const QString& interface, const QString& method,
                         const QVariantList& arguments = {}) {
  auto call = QDBusMessage::createMethodCall(QStringLiteral(TAVUNO_BUS_NAME),
                                             QStringLiteral(TAVUNO_OBJECT_PATH), interface, method);
  call.setArguments(arguments);
  auto pending = caller.asyncCall(call);
  test::processEventsUntil([&] { return pending.isFinished(); });
  return pending.reply();
}

QVariantMap allProperties(QDBusConnection& caller) {
  const auto reply = callControl(caller, propertiesInterface, QStringLiteral("GetAll"),
                                 {QStringLiteral(TAVUNO_CONTROL_INTERFACE)});
  return qdbus_cast<QVariantMap>(reply.arguments().value(0));
}

// Runs the event loop for several change intervals, so that every signal of
// what happened so far has arrived.
void settle() {
  test::processEventsUntil([] { return false; }, 6 * ControlService::changeInterval / 1000.0);
}

// The status report's scalars, as standard read-only properties that a
// generic D-Bus tool lists and reads.
TEST_F(CommandLineOnBus, PropertiesAreTheStatusScalarsAndAreListedAsReadOnly) {
  publish();
  auto caller = bus->connect();
  const auto status =
      nlohmann::json::parse(callControl(caller, TAVUNO_CONTROL_INTERFACE, QStringLiteral("Status"))
                                .arguments()
                                .value(0)
                                .toString()
                                .toStdString());
  const QVariantMap all = allProperties(caller);
  EXPECT_EQ(all.keys(), (QStringList{"ActiveProfile", "DefaultInput", "DefaultOutput", "InputMuted",
                                     "InputVolume", "Muted", "Volume"}));
  EXPECT_EQ(all.value("InputVolume").metaType(), QMetaType::fromType<int>());
  EXPECT_EQ(all.value("InputVolume").toInt(), status["inputVolume"].get<int>());
  EXPECT_EQ(all.value("InputMuted").toBool(), status["inputMuted"].get<bool>());
  EXPECT_EQ(all.value("Volume").metaType(), QMetaType::fromType<int>());
  EXPECT_EQ(all.value("Volume").toInt(), status["volume"].get<int>());
  EXPECT_EQ(all.value("Muted").metaType(), QMetaType::fromType<bool>());
  EXPECT_EQ(all.value("Muted").toBool(), status["muted"].get<bool>());
  EXPECT_EQ(all.value("DefaultOutput").toString().toStdString(), status["defaultOutput"]["uid"]);
  EXPECT_EQ(all.value("DefaultOutput").toString(), "demo.speakers");
  EXPECT_EQ(all.value("DefaultInput").toString().toStdString(), status["defaultInput"]["uid"]);
  EXPECT_EQ(all.value("ActiveProfile").toString().toStdString(), status["activeProfile"]["name"]);
  EXPECT_FALSE(all.value("ActiveProfile").toString().isEmpty());

  // Get reads the value of now, not of the last signal.
  service().setVolume(0.3f);
  const auto get =
      callControl(caller, propertiesInterface, QStringLiteral("Get"),
                  {QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("Volume")});
  EXPECT_EQ(qvariant_cast<QDBusVariant>(get.arguments().value(0)).variant().toInt(), 30);
  const auto set = callControl(caller, propertiesInterface, QStringLiteral("Set"),
                               {QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("Volume"),
                                QVariant::fromValue(QDBusVariant(10))});
  EXPECT_EQ(set.type(), QDBusMessage::ErrorMessage) << "read-only";
  EXPECT_FLOAT_EQ(service().state().volume, 0.3f);
  EXPECT_EQ(callControl(caller, propertiesInterface, QStringLiteral("Get"),
                        {QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("Nope")})
                .type(),
            QDBusMessage::ErrorMessage);

  const QString xml = callControl(caller, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                  QStringLiteral("Introspect"))
                          .arguments()
                          .value(0)
                          .toString();
  for (const char* property : {R"(<property name="Volume" type="i" access="read"/>)",
                               R"(<property name="Muted" type="b" access="read"/>)",
                               R"(<property name="InputVolume" type="i" access="read"/>)",
                               R"(<property name="InputMuted" type="b" access="read"/>)",
                               R"(<method name="ToggleInputMute">)",
                               R"(<property name="DefaultOutput" type="s" access="read"/>)",
                               R"(<property name="DefaultInput" type="s" access="read"/>)",
                               R"(<property name="ActiveProfile" type="s" access="read"/>)",
                               R"(<signal name="Changed">)", R"(<method name="Status">)"})
    EXPECT_TRUE(xml.contains(QLatin1String(property))) << property << "\n" << xml.toStdString();
}

TEST_F(CommandLineOnBus, PropertiesChangedCarriesWhatChangedAndOnlyWhenSomethingDid) {
  publish();
  auto watcher = bus->connect();
  test::PropertiesRecorder properties;
  test::ChangedRecorder changes;
  ASSERT_TRUE(watcher.connect(QString(), QStringLiteral(TAVUNO_OBJECT_PATH), propertiesInterface,
                              QStringLiteral("PropertiesChanged"), &properties,
                              SLOT(changed(QString, QVariantMap, QStringList))));
  ASSERT_TRUE(watcher.connect(QString(), QStringLiteral(TAVUNO_OBJECT_PATH),
                              QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("Changed"),
                              &changes, SLOT(changed(QStringList))));
  settle();
  properties.signals_.clear();

  ASSERT_NE(control::volumePercent(service().state().volume), 20);
  service().setVolume(0.2f);
  ASSERT_TRUE(test::processEventsUntil([&] { return !properties.signals_.isEmpty(); }));
  settle();
  ASSERT_EQ(properties.signals_.size(), 1);
  EXPECT_EQ(properties.signals_[0].interface, TAVUNO_CONTROL_INTERFACE);
  EXPECT_EQ(properties.signals_[0].changed, (QVariantMap{{"Volume", 20}}));
  EXPECT_TRUE(properties.signals_[0].invalidated.isEmpty());

  // Changes no property shows (a volume within the same percent, an app's
  // volume): Changed names them, PropertiesChanged stays silent.
  properties.signals_.clear();
  changes.signals_.clear();
  service().setVolume(0.204f);
  ASSERT_EQ(runTavuno(*bus, {"app", "volume", "Music Player", "35"}).exitCode, 0);
  ASSERT_TRUE(test::processEventsUntil([&] {
    for (const auto& parts : changes.signals_)
      if (parts.contains("apps")) return true;
    return false;
  }));
  settle();
  EXPECT_TRUE(changes.signals_.first().contains("volume"));
  EXPECT_TRUE(properties.signals_.isEmpty());

  // A profile that moves everything: what the signals carry, last value first,
  // is what GetAll reads afterwards, and each property that changed is in one.
  auto caller = bus->connect();
  const QVariantMap before = allProperties(caller);
  const auto& profiles = service().state().profiles;
  const auto meetings = std::find_if(profiles.begin(), profiles.end(), [](const AudioProfile& p) {
    return p.outputUID == "demo.headset";
  });
  ASSERT_NE(meetings, profiles.end());
  const QString meetingsId = QString::fromStdString(meetings->id.text());
  ASSERT_EQ(runTavuno(*bus, {"profile", "apply", meetingsId}).exitCode, 0);
  ASSERT_TRUE(test::processEventsUntil([&] { return allProperties(caller) != before; }));
  settle();
  const QVariantMap after = allProperties(caller);
  QVariantMap carried;
  for (const auto& signal : properties.signals_) {
    EXPECT_FALSE(signal.changed.isEmpty());
    carried.insert(signal.changed);
  }
  for (const auto& name : after.keys()) {
    if (after.value(name) != before.value(name)) {
      EXPECT_TRUE(carried.contains(name)) << name.toStdString();
    }
    if (carried.contains(name)) {
      EXPECT_EQ(carried.value(name), after.value(name)) << name.toStdString();
    }
  }
  EXPECT_EQ(after.value("DefaultOutput"), "demo.headset");
  EXPECT_EQ(after.value("ActiveProfile").toString().toStdString(), meetings->name);

  // A rename of the active profile is a change of its name alone.
  properties.signals_.clear();
  ASSERT_EQ(runTavuno(*bus, {"profile", "rename", meetingsId, "Calls"}).exitCode, 0);
  ASSERT_TRUE(test::processEventsUntil([&] { return !properties.signals_.isEmpty(); }));
  settle();
  ASSERT_EQ(properties.signals_.size(), 1);
  EXPECT_EQ(properties.signals_[0].changed, (QVariantMap{{"ActiveProfile", "Calls"}}));
}

TEST_F(CommandLineOnBus, ASecondTavunoShowsTheFirstOnesWindowAndLeaves) {
  publish();
  ASSERT_FALSE(app->window()->isVisible()) << "started in the background";
  const auto run = runTavuno(*bus, {});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil([&] { return app->window()->isVisible(); }));
}

}  // namespace
}  // namespace tavuno
