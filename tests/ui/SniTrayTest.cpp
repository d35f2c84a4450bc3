// Tavuno's StatusNotifierItem as a tray host sees it: a watcher played on a
// private session bus, the app on the demo scene.
#include <climits>
#include <functional>
#include <memory>

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>

#include "desktop/PrivateBus.h"
#include "ui/AppFixture.h"
#include "ui/SniWatcher.h"
#include "ui/tray/DesktopTrayIcon.h"
#include "ui/tray/SniTrayIcon.h"
#include "ui/tray/TrayController.h"
#include "ui/views/TrayPanel.h"

namespace tavuno {
namespace {

class SniTray : public testing::Test {
 protected:
  void SetUp() override {
    startBus();
    startWatcher();
    startApp([this] {
      auto tray = std::make_unique<ui::SniTrayIcon>(bus->connect());
      item = tray.get();
      return tray;
    });
  }
  void startBus() {
    std::string why;
    bus = test::PrivateBus::start(why);
    ASSERT_TRUE(bus) << why;
    host = bus->connect();
  }
  // A panel's watcher on the bus.
  void startWatcher() {
    watcher = std::make_unique<test::SniWatcher>();
    ASSERT_TRUE(
        host.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), watcher.get()));
    ASSERT_TRUE(host.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  }
  void startApp(std::function<std::unique_ptr<ui::TrayPort>()> tray) {
    AppOptions options = test::demoOptions();
    options.tray = std::move(tray);
    app = std::make_unique<TavunoApp>(std::move(options));
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return app->service()->state().controlledApps.size() == 3; }));
  }
  void TearDown() override {
    app.reset();
    if (watcher) host.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    watcher.reset();
  }

  QDBusMessage call(const QString& method, const QVariantList& arguments) {
    auto message =
        QDBusMessage::createMethodCall(item->serviceName(), QStringLiteral("/StatusNotifierItem"),
                                       QStringLiteral("org.kde.StatusNotifierItem"), method);
    message.setArguments(arguments);
    auto pending = host.asyncCall(message);
    EXPECT_TRUE(test::processEventsUntil([&] { return pending.isFinished(); }));
    return pending.reply();
  }
  QVariant property(const QString& name) {
    auto message = QDBusMessage::createMethodCall(
        item->serviceName(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({QStringLiteral("org.kde.StatusNotifierItem"), name});
    auto pending = host.asyncCall(message);
    EXPECT_TRUE(test::processEventsUntil([&] { return pending.isFinished(); }));
    return pending.reply().arguments().value(0).value<QDBusVariant>().variant();
  }
  AudioService& service() { return *app->service(); }

  std::unique_ptr<test::PrivateBus> bus;
  QDBusConnection host{QString()};
  std::unique_ptr<test::SniWatcher> watcher;
  std::unique_ptr<TavunoApp> app;
  ui::SniTrayIcon* item = nullptr;
};

TEST_F(SniTray, RegistersAndShowsItsPropertiesToTheHost) {
  ASSERT_TRUE(test::processEventsUntil([&] { return !watcher->registered.isEmpty(); }));
  EXPECT_EQ(watcher->registered.front(), item->serviceName());
  EXPECT_TRUE(item->available());
  EXPECT_EQ(property(QStringLiteral("Category")).toString(), "ApplicationStatus");
  EXPECT_EQ(property(QStringLiteral("Status")).toString(), "Active");
  EXPECT_EQ(property(QStringLiteral("Title")).toString(), "Tavuno");
  EXPECT_EQ(property(QStringLiteral("IconName")).toString(), "audio-volume-high-symbolic");
  EXPECT_FALSE(property(QStringLiteral("ItemIsMenu")).toBool());
  // (s a(iiay) s s): icon, pictures, title, the text with the volume.
  const auto tip = property(QStringLiteral("ToolTip")).value<QDBusArgument>();
  QString icon, title, text;
  tip.beginStructure();
  tip >> icon;
  tip.beginArray();
  while (!tip.atEnd()) {
    int w = 0, h = 0;
    QByteArray bytes;
    tip.beginStructure();
    tip >> w >> h >> bytes;
    tip.endStructure();
  }
  tip.endArray();
  tip >> title >> text;
  tip.endStructure();
  EXPECT_EQ(title, "Tavuno");
  EXPECT_TRUE(text.contains(QStringLiteral("62"))) << text.toStdString();
}

TEST_F(SniTray, ScrollStepsTheVolumeAndSecondaryActivateTogglesMute) {
  ASSERT_TRUE(test::processEventsUntil([&] { return !watcher->registered.isEmpty(); }));
  // 0.62 in the demo; a notch goes to the next multiple of 5 %.
  call(QStringLiteral("Scroll"), {240, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.70f, 0.001f) << "two notches up";
  call(QStringLiteral("Scroll"), {-120, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.65f, 0.001f);
  call(QStringLiteral("Scroll"), {60, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.65f, 0.001f) << "half a notch waits";
  call(QStringLiteral("Scroll"), {60, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.70f, 0.001f) << "the other half completes it";
  call(QStringLiteral("Scroll"), {500, QStringLiteral("horizontal")});
  EXPECT_NEAR(service().state().volume, 0.70f, 0.001f) << "sideways is not volume";
  // A host's extreme numbers are bounded, and the volume stays in range.
  call(QStringLiteral("Scroll"), {INT_MIN, QStringLiteral("vertical")});
  call(QStringLiteral("Scroll"), {INT_MIN, QStringLiteral("vertical")});
  EXPECT_FLOAT_EQ(service().state().volume, 0.0f);
  call(QStringLiteral("Scroll"), {INT_MAX, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.5f, 0.001f) << "ten notches at most a call";

  call(QStringLiteral("SecondaryActivate"), {0, 0});
  EXPECT_TRUE(service().state().muted);
  ASSERT_TRUE(test::processEventsUntil([&] {
    return property(QStringLiteral("IconName")).toString() == "audio-volume-muted-symbolic";
  }));
  call(QStringLiteral("SecondaryActivate"), {0, 0});
  EXPECT_FALSE(service().state().muted);

  call(QStringLiteral("Activate"), {40, 40});
  EXPECT_TRUE(app->panel()->isVisible());
  call(QStringLiteral("Activate"), {40, 40});
  EXPECT_FALSE(app->panel()->isVisible());

  // No exported menu (ItemIsMenu is false): the host asks for it at a point.
  call(QStringLiteral("ContextMenu"), {30, 30});
  EXPECT_TRUE(test::processEventsUntil([&] { return app->tray()->menu()->isVisible(); }));
  app->tray()->menu()->hide();
}

TEST_F(SniTray, RegistersAgainWhenTheWatcherComesBack) {
  ASSERT_TRUE(test::processEventsUntil([&] { return watcher->registered.size() == 1; }));
  ASSERT_TRUE(host.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  ASSERT_TRUE(host.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  EXPECT_TRUE(test::processEventsUntil([&] { return watcher->registered.size() == 2; }));
}

// A panel whose watcher starts after Tavuno (both autostarted at login): the
// icon moves to Tavuno's own item, and the host's scroll and middle click
// reach the volume as they would have from the start.
class SniTrayLater : public SniTray {
 protected:
  void SetUp() override {
    startBus();
    startApp([this] {
      auto tray = std::make_unique<ui::DesktopTrayIcon>(bus->connect());
      desktop = tray.get();
      return tray;
    });
  }
  ui::DesktopTrayIcon* desktop = nullptr;
};

TEST_F(SniTrayLater, MovesToItsOwnItemWhenAWatcherStartsLater) {
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(desktop->item(), nullptr) << "no watcher yet: the embedded icon";
  startWatcher();
  ASSERT_TRUE(test::processEventsUntil([&] { return !watcher->registered.isEmpty(); }));
  ASSERT_NE(desktop->item(), nullptr);
  item = desktop->item();
  EXPECT_EQ(watcher->registered.front(), item->serviceName());
  EXPECT_TRUE(desktop->available());
  EXPECT_EQ(property(QStringLiteral("IconName")).toString(), "audio-volume-high-symbolic")
      << "the name the controller gave before the move";

  call(QStringLiteral("Scroll"), {120, QStringLiteral("vertical")});
  EXPECT_NEAR(service().state().volume, 0.65f, 0.001f) << "the handlers moved too";
  call(QStringLiteral("SecondaryActivate"), {0, 0});
  EXPECT_TRUE(service().state().muted);
  call(QStringLiteral("ContextMenu"), {30, 30});
  EXPECT_TRUE(test::processEventsUntil([&] { return app->tray()->menu()->isVisible(); }))
      << "and the menu";
  app->tray()->menu()->hide();
}

}  // namespace
}  // namespace tavuno
