// The desktop app on the private audio server, under offscreen Qt: what a
// person sees at start, a playing application under control, without a
// server, and quitting.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "app/LinuxPlatform.h"
#include "app/TavunoApp.h"
#include "linux/server/LinuxServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/Deadline.h"
#include "ui/AppFixture.h"
#include "ui/bridge/MeterFeed.h"
#include "ui/views/AppsView.h"
#include "ui/views/DeviceList.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/DevicesView.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/TrayPanel.h"
#include "ui/widgets/PickerBox.h"

namespace tavuno {
namespace {

using Server = test::AudioStack;
using Clock = std::chrono::steady_clock;

const std::string headsetOutput = "bluez:00:11:22:33:44:55:output";
const std::string headsetInput = "bluez:00:11:22:33:44:55:input";
constexpr double toneRMS = 0.3536;

// Stops the server's processes (SIGSTOP: frozen, not gone: they keep their sockets, and a
// client's connection and requests are accepted and never answered) until it goes.
class StoppedServer {
 public:
  explicit StoppedServer(std::vector<pid_t> pids) : pids_(std::move(pids)) {
    for (pid_t pid : pids_)
      kill(pid, SIGSTOP);
  }
  ~StoppedServer() {
    for (pid_t pid : pids_)
      kill(pid, SIGCONT);
  }
  StoppedServer(const StoppedServer&) = delete;
  StoppedServer& operator=(const StoppedServer&) = delete;
  // Whether every process has stopped (its state in /proc says so).
  bool stopped() const {
    for (pid_t pid : pids_) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto end = line.rfind(')');
      if (end == std::string::npos || line.size() < end + 3 || line[end + 2] != 'T') return false;
    }
    return true;
  }

 private:
  std::vector<pid_t> pids_;
};

class DesktopAppTest : public testing::Test {
 protected:
  void SetUp() override { TAVUNO_REQUIRE_AUDIO_SERVER(); }
  void TearDown() override {
    app.reset();
    if (Server* stack = test::audioServer()) stack->stopPlayers();
    // A test that stopped the server and failed leaves it running for the next.
    if (Server* stack = test::audioServer(); stack && !stack->audioServerRunning())
      stack->startAudioServer();
  }

  void startApp(double gracePeriod = 3.0) {
    AppOptions options;
    auto settings = std::make_unique<InMemoryDefaultsStore>();
    settings->set("languagePreference", std::string("en"));
    settings->set("onboardingDone", true);
    options.settings = std::move(settings);
    options.platform =
        linuxPlatform({.server = server().pulseServer(), .gracePeriod = gracePeriod});
    options.tray = [] { return std::make_unique<test::FakeTray>(); };
    options.desktop = TavunoApp::simulatedDesktop();
    app = std::make_unique<TavunoApp>(std::move(options));
    app->start();
  }

  Server& server() { return *test::audioServer(); }
  ui::DeviceList& outputs() { return *app->window()->devices()->outputs(); }
  ui::DeviceList& inputs() { return *app->window()->devices()->inputs(); }
  bool listsTheFixturesDevices() {
    return outputs().row(Server::hdmi) && outputs().row(Server::speakers) &&
           outputs().row(Server::usbDac) && outputs().row(headsetOutput) &&
           inputs().row(headsetInput);
  }
  bool errorShown() { return app->window()->errorLine()->isVisibleTo(app->window()); }
  // Asks to quit from the panel and runs the loop until it ends (at most
  // 10 s); how long it took.
  double quitFromThePanel() {
    const auto asked = Clock::now();
    QTimer::singleShot(0, app->panel(), [this] { emit app->panel()->quitRequested(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "quitting took more than 10 s";
    return std::chrono::duration<double>(Clock::now() - asked).count();
  }

  std::unique_ptr<TavunoApp> app;
};

TEST_F(DesktopAppTest, ListsTheDevicesAndTheDefaultOutputAndQuitsWithinADeadline) {
  startApp();
  ASSERT_TRUE(test::processEventsUntil([&] { return listsTheFixturesDevices(); }, 10))
      << "the devices screen lists the server's outputs and the headset's microphone";
  EXPECT_TRUE(outputs().row(Server::speakers)->isDefault());
  EXPECT_FALSE(outputs().row(Server::hdmi)->isDefault());
  EXPECT_EQ(app->window()->mixer()->output()->box()->currentText(), "Built-in Speakers");
  EXPECT_EQ(app->window()->mixer()->input()->box()->currentText(), "BT Headset Mic");
  EXPECT_FALSE(errorShown()) << app->window()->errorLine()->message()->text().toStdString();

  // Quitting from the panel, as a person does: the loop ends, the app shuts
  // down and lets the server go.
  const double seconds = quitFromThePanel();
  EXPECT_TRUE(app->isShutDown());
  EXPECT_LT(seconds, 2.0);
  RecordProperty("quit_seconds", std::to_string(seconds));
}

// A playing application is taken as soon as the app starts: its volume is
// heard on the speakers and its meter moves while the mixer shows. Quitting
// gives it its own output back, at its own level.
TEST_F(DesktopAppTest, ControlsAPlayingAppAndGivesItsAudioBackOnQuit) {
  ASSERT_TRUE(server().play("org.example.Tone", "Tone", Server::speakers));
  startApp();
  std::string id;
  ASSERT_TRUE(test::processEventsUntil(
      [&] {
        const auto& controlled = app->service()->state().controlledApps;
        if (controlled.size() == 1) id = *controlled.begin();
        return !id.empty() && app->service()->session(id);
      },
      10))
      << app->service()->state().error.value_or("no session");
  const ActiveApp* tone = nullptr;
  for (const auto& active : app->service()->state().activeApps)
    if (active.id == id) tone = &active;
  ASSERT_TRUE(tone);
  EXPECT_EQ(tone->name, "Tone");
  ASSERT_TRUE(app->window()->mixer()->apps()->row(id)) << "the mixer lists it";

  EXPECT_TRUE(test::processEventsUntil([&] { return app->meters()->level(id) > 0.1; }, 5))
      << "its meter moves while the mixer shows";
  app->service()->setAppMix(*tone, 0.5f, std::nullopt);
  auto heard = server().rms(Server::speakers);
  ASSERT_TRUE(heard);
  EXPECT_NEAR(*heard, toneRMS * 0.5, 0.02) << "heard at the gain it was given";

  quitFromThePanel();
  ASSERT_TRUE(app->isShutDown());
  heard = server().rms(Server::speakers);
  ASSERT_TRUE(heard);
  // Where WirePlumber keeps an app's stored volume from its stream's own (0.5), that stream
  // keeps the volume it was given, so its next start is not louder.
  const bool streamsKeepTheVolume = Server::currentStack();
  EXPECT_NEAR(*heard, streamsKeepTheVolume ? toneRMS * 0.5 : toneRMS, 0.02)
      << "its own audio back after quitting";
}

// A player that chose its own output is controlled there, not moved to the default, until the
// system default is chosen for it in Tavuno.
TEST_F(DesktopAppTest, AnAppOnAnOutputOfItsOwnIsControlledThere) {
  ASSERT_TRUE(server().play("org.example.Pinned", "Pinned", Server::usbDac));
  startApp();
  std::string id;
  ASSERT_TRUE(test::processEventsUntil(
      [&] {
        const auto& controlled = app->service()->state().controlledApps;
        if (controlled.size() == 1) id = *controlled.begin();
        return !id.empty() && app->service()->session(id);
      },
      10))
      << app->service()->state().error.value_or("no session");
  auto pinned = [&]() -> const ActiveApp& {
    for (const auto& active : app->service()->state().activeApps)
      if (active.id == id) return active;
    throw std::runtime_error("the app is gone");
  };
  EXPECT_EQ(pinned().ownOutputUID, std::string(Server::usbDac));
  app->service()->setAppMix(pinned(), 0.5f, std::nullopt);
  auto heard = server().rms(Server::usbDac);
  ASSERT_TRUE(heard);
  EXPECT_NEAR(*heard, toneRMS * 0.5, 0.02) << "heard on its own output at its gain";
  heard = server().rms(Server::speakers);
  ASSERT_TRUE(heard);
  EXPECT_LT(*heard, 0.01) << "not on the default";

  app->service()->setAppOutput(pinned(), std::nullopt);
  EXPECT_TRUE(test::processEventsUntil(
      [&] { return std::fabs(server().rms(Server::speakers).value_or(0) - toneRMS * 0.5) < 0.02; },
      10))
      << "the system default chosen in Tavuno";
  quitFromThePanel();
  ASSERT_TRUE(app->isShutDown());
}

TEST_F(DesktopAppTest, SaysTheServerIsMissingAndPicksItUpWhenItStarts) {
  server().stopAudioServer();
  startApp(0.5);
  ASSERT_TRUE(test::processEventsUntil([&] { return errorShown(); }, 2))
      << "the error line says why nothing is listed";
  EXPECT_EQ(outputs().rowCount(), 0u);
  EXPECT_EQ(inputs().rowCount(), 0u);
  EXPECT_EQ(app->window()->errorLine()->message()->text(),
            "No audio server is running. Tavuno connects as soon as one starts.");

  ASSERT_EQ(server().startAudioServer(), std::nullopt);
  ASSERT_TRUE(test::processEventsUntil([&] { return listsTheFixturesDevices(); }, 10))
      << "the mirror reconnects and the devices appear";
  // The default comes with the server's own report, which may follow the devices.
  EXPECT_TRUE(
      test::processEventsUntil([&] { return outputs().row(Server::speakers)->isDefault(); }, 5))
      << "the server's default: " << server().pactl({"get-default-sink"}).value_or("(none)")
      << "; the service's: " << app->service()->state().defaultOutput << " of "
      << app->service()->state().devices.size();
  EXPECT_TRUE(test::processEventsUntil([&] { return !errorShown(); }, 2)) << "the message goes";

  // Lost again (past the grace period): the devices go and the message is back.
  server().stopAudioServer();
  EXPECT_TRUE(
      test::processEventsUntil([&] { return outputs().rowCount() == 0 && errorShown(); }, 10));
  ASSERT_EQ(server().startAudioServer(), std::nullopt);
  EXPECT_TRUE(
      test::processEventsUntil([&] { return listsTheFixturesDevices() && !errorShown(); }, 10));
}

// A server whose processes are stopped answers nothing: the window still comes up at once
// (the start-up sweep and the first sync are not waited out), and quitting with controlled
// apps gives their restores one deadline together instead of seconds each.
TEST_F(DesktopAppTest, NeitherStartingNorQuittingWaitsOnAStoppedServer) {
  const std::vector<pid_t> serverPids{server().pipewirePid(), server().pipewirePulsePid()};
  {
    StoppedServer stopped(serverPids);
    ASSERT_TRUE(test::waitUntil([&] { return stopped.stopped(); }, 5));
    const auto asked = Clock::now();
    startApp();
    const double started = std::chrono::duration<double>(Clock::now() - asked).count();
    EXPECT_LT(started, 1.0) << "the app took " << started << " s to come up";
    EXPECT_TRUE(app->window()->isVisible());
    RecordProperty("start_seconds_stopped_server", std::to_string(started));
    const double quit = quitFromThePanel();
    EXPECT_LT(quit, 1.5);
    app.reset();
  }

  // Two apps of their own (the players are one program: the desktop files tell them apart).
  const std::string data = server().root() + "/stopped-server-data";
  std::filesystem::create_directories(data + "/applications");
  for (const char* name : {"Tone", "Chime"})
    std::ofstream(data + "/applications/org.example." + name + ".desktop")
        << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=player\n";
  const char* previous = std::getenv("XDG_DATA_HOME");
  const std::optional<std::string> dataHome =
      previous ? std::optional<std::string>(previous) : std::nullopt;
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  ASSERT_TRUE(server().play("org.example.Tone", "Tone", Server::speakers));
  ASSERT_TRUE(server().play("org.example.Chime", "Chime", Server::usbDac));
  startApp();
  if (dataHome)
    setenv("XDG_DATA_HOME", dataHome->c_str(), 1);
  else
    unsetenv("XDG_DATA_HOME");
  ASSERT_TRUE(test::processEventsUntil(
      [&] {
        const auto& controlled = app->service()->state().controlledApps;
        if (controlled.size() != 2) return false;
        for (const auto& id : controlled)
          if (!app->service()->session(id)) return false;
        return true;
      },
      15))
      << app->service()->state().error.value_or("not both controlled");
  app->panel();  // built before the server stops, as a person clicking the tray has it
  StoppedServer stopped(serverPids);
  ASSERT_TRUE(test::waitUntil([&] { return stopped.stopped(); }, 5));
  const double quit = quitFromThePanel();
  EXPECT_TRUE(app->isShutDown());
  EXPECT_LT(quit, 1.5) << "quitting with two controlled apps took " << quit << " s";
  RecordProperty("quit_seconds_stopped_server", std::to_string(quit));
}

// The executable itself: SIGTERM (a session ending) quits it the usual way.
TEST_F(DesktopAppTest, TheExecutableQuitsCleanlyOnSigterm) {
  const std::string config =
      std::filesystem::temp_directory_path() / ("tavuno-app-test-" + std::to_string(getpid()));
  test::ChildProcess tavuno({TAVUNO_APP_BINARY, "--background"},
                            {.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                                             {"PULSE_SERVER", server().pulseServer()},
                                             {"XDG_CONFIG_HOME", config}}});
  ASSERT_TRUE(tavuno.started());
  const pid_t pid = tavuno.pid();

  // Started once its mirror is a client of the server.
  const bool connected = test::waitUntil(
      [&] {
        return server()
                   .pactl({"list", "clients"})
                   .value_or("")
                   .find("application.process.id = \"" + std::to_string(pid) + "\"") !=
               std::string::npos;
      },
      15);
  const auto status = tavuno.stop(SIGTERM, 5);
  std::filesystem::remove_all(config);
  EXPECT_TRUE(connected) << "tavuno connected to the server";
  ASSERT_TRUE(status.has_value()) << "tavuno did not quit within 5 s of SIGTERM";
  EXPECT_EQ(*status, 0);
}

}  // namespace
}  // namespace tavuno
