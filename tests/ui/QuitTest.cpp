#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/QuitOnSignals.h"
#include "app/TavunoApp.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/std/ThreadSerialQueue.h"
#include "support/FakeSession.h"
#include "ui/AppFixture.h"
#include "ui/views/MainWindow.h"
#include "ui/views/Sidebar.h"

namespace tavuno {
namespace {

// Real worker threads, and an application playing: its session start waits
// on the main thread, which never turns its loop before quitting.
struct ThreadedPlatform {
  explicit ThreadedPlatform(MainQueue& main) : hal(main) {
    const AudioObjectID speakers =
        hal.addDevice({.uid = "speakers", .name = "Speakers", .outputStreams = 1});
    hal.setDefaultOutput(speakers);
    identity.addRunning({.pid = 7, .bundleIdentifier = "org.player", .localizedName = "Player"});
    hal.addProcess({.pid = 7, .runningOutput = true, .outputDevices = {speakers}});
  }
  SimHal hal;
  SimIdentity identity;
  ThreadSerialQueueFactory workers;
  test::FakeSessionFactory sessions;
};

TEST(Quit, ReturnsWhileASessionStartWaitsForTheMainThread) {
  std::shared_ptr<ThreadedPlatform> platform;
  AppOptions options;
  options.settings = std::make_unique<InMemoryDefaultsStore>();
  options.tray = [] { return std::make_unique<test::FakeTray>(); };
  options.desktop = TavunoApp::simulatedDesktop();
  options.platform = [&](DefaultsStore& defaults, MainQueue& main) {
    platform = std::make_shared<ThreadedPlatform>(main);
    Platform result;
    result.ports.emplace(ServicePorts{.defaults = defaults,
                                      .main = main,
                                      .hal = platform->hal,
                                      .workers = platform->workers,
                                      .identity = &platform->identity});
    result.options.makeSession = platform->sessions.factory();
    result.owner = platform;
    return result;
  };
  auto app = std::make_unique<TavunoApp>(std::move(options));
  ASSERT_EQ(app->service()->state().startingApps, std::set<std::string>{"org.player"});
  // The worker has built the session and now waits in sync() for the main
  // thread to say whether to start it. Waited for without turning the loop,
  // which would answer the worker and let the start run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (app->mainQueue().waitingSyncCount() != 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_EQ(app->mainQueue().waitingSyncCount(), 1) << "the start is stalled on the main thread";

  app->shutdown();  // returns: the closed queue releases the worker
  EXPECT_TRUE(app->isShutDown());
  for (const auto& session : platform->sessions.made)
    EXPECT_EQ(session->startCalls, 0) << "a start asked for after quitting never runs";
  app.reset();
}

// SIGTERM ends the loop even while a window stays open when asked to close
// (the main window only hides itself): Qt's quit() would give up there.
TEST(Quit, SigtermEndsTheLoopWhileAWindowRefusesToClose) {
  class Stubborn : public QWidget {
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
  };
  Stubborn window;
  window.show();
  QuitOnSignals quitOnSignals;
  QTimer::singleShot(0, [] { ::raise(SIGTERM); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(5000);
  EXPECT_EQ(QCoreApplication::exec(), 0) << "still running 5 s after SIGTERM";
}

// Closing the window only hides it, so the window itself offers the way out:
// Ctrl+Q, and the sidebar's "Encerrar Tavuno" for whoever does not know it.
class QuitFromTheWindow : public test::AppFixture {};

TEST_F(QuitFromTheWindow, CtrlQQuits) {
  app->openWindow();
  QApplication::setActiveWindow(app->window());
  QTest::keyClick(app->window()->sidebar()->button(0), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(test::processEventsUntil([&] { return app->isShutDown(); })) << "Ctrl+Q did not quit";
}

TEST_F(QuitFromTheWindow, TheSidebarsQuitButtonQuits) {
  app->openWindow();
  auto* quit = app->window()->sidebar()->quitButton();
  ASSERT_TRUE(quit->isVisible());
  EXPECT_EQ(quit->text(), QStringLiteral("Encerrar Tavuno"));
  QTest::mouseClick(quit, Qt::LeftButton);
  EXPECT_TRUE(test::processEventsUntil([&] { return app->isShutDown(); }))
      << "the button did not quit";
}

TEST_F(QuitFromTheWindow, ClosingTheWindowOnlyHidesIt) {
  app->openWindow();
  app->window()->close();
  test::AppFixture::deliver();
  EXPECT_FALSE(app->window()->isVisible());
  EXPECT_FALSE(app->isShutDown());
}

}  // namespace
}  // namespace tavuno
