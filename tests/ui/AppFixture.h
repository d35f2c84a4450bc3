#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/TavunoApp.h"
#include "ui/QtWait.h"
#include "ui/tray/TrayPort.h"

namespace tavuno::test {

// A tray that records what it is told and lets the test make the gestures.
class FakeTray : public ui::TrayPort {
 public:
  bool available() const override { return true; }
  void setHandlers(Handlers handlers) override { this->handlers = std::move(handlers); }
  void setIcon(const QIcon&) override { ++iconChanges; }
  void setToolTip(const QString& text) override { toolTip = text; }
  void setMenu(QMenu* menu) override { this->menu = menu; }
  void show() override { shown = true; }

  Handlers handlers;
  int iconChanges = 0;
  QString toolTip;
  QMenu* menu = nullptr;
  bool shown = false;
};

// The demo app's options: the demo scene, desktop services in memory, and
// `settings` (when none are given: Portuguese, the first-run guide done).
inline AppOptions demoOptions(std::unique_ptr<InMemoryDefaultsStore> settings = nullptr) {
  if (!settings) {
    settings = std::make_unique<InMemoryDefaultsStore>();
    settings->set("languagePreference", std::string("pt"));
    settings->set("onboardingDone", true);
  }
  AppOptions options;
  options.demo = true;
  options.settings = std::move(settings);
  options.platform = TavunoApp::demoPlatform();
  options.desktop = TavunoApp::simulatedDesktop();
  return options;
}

// The whole app on the demo scene (in Portuguese), with a fake tray; the
// first-run guide is done unless a test says otherwise.
class AppFixture : public testing::Test {
 protected:
  void SetUp() override {
    auto settings = std::make_unique<InMemoryDefaultsStore>();
    settings->set("languagePreference", std::string("pt"));
    settings->set("onboardingDone", onboardingDone);
    start(std::move(settings));
  }
  // Quits and starts again on the settings the last run left, as the next
  // login would.
  void restart() {
    auto settings = std::make_unique<InMemoryDefaultsStore>(
        static_cast<InMemoryDefaultsStore&>(app->settings()));
    app.reset();
    start(std::move(settings));
  }
  void start(std::unique_ptr<InMemoryDefaultsStore> settings) {
    AppOptions options = demoOptions(std::move(settings));
    options.tray = [this] {
      auto tray = std::make_unique<FakeTray>();
      this->tray = tray.get();
      return tray;
    };
    app = std::make_unique<TavunoApp>(std::move(options));
    ASSERT_TRUE(processEventsUntil([&] {
      return app->service()->state().controlledApps.size() == 3;
    })) << "the demo's three apps are controlled";
    QCoreApplication::processEvents();
  }
  void TearDown() override { app.reset(); }

  AudioService& service() { return *app->service(); }
  const ActiveApp& activeApp(const std::string& id) {
    for (const auto& active : service().state().activeApps)
      if (active.id == id) return active;
    throw std::runtime_error("no app " + id);
  }
  // Lets the bridge deliver what the service published.
  static void deliver() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }

  bool onboardingDone = true;  // set before SetUp() to start with the guide
  std::unique_ptr<TavunoApp> app;
  FakeTray* tray = nullptr;
  static constexpr const char* player = "org.tavuno.demo.Player";
};

}  // namespace tavuno::test
