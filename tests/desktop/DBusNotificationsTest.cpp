#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include "desktop/PrivateBus.h"
#include "platform/qt/DBusNotifications.h"
#include "platform/qt/QtMainQueue.h"
#include "ui/QtWait.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

// A notification server that records what it is sent.
class RecordingNotificationServer : public QDBusVirtualObject {
 public:
  struct Notification {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QVariantMap hints;
    int expireTimeout = 0;
  };

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QList<QVariant> a = message.arguments();
    if (message.member() == QLatin1String("GetServerInformation")) {
      connection.send(message.createReply(
          QList<QVariant>{QStringLiteral("recorder"), QStringLiteral("tavuno tests"),
                          QStringLiteral("1"), QStringLiteral("1.2")}));
      return true;
    }
    if (message.member() == QLatin1String("Notify") && a.size() == 8) {
      received.push_back({a[0].toString(), a[1].toUInt(), a[2].toString(), a[3].toString(),
                          a[4].toString(), qdbus_cast<QVariantMap>(a[6]), a[7].toInt()});
      connection.send(message.createReply(QVariant(uint(received.size()))));
      return true;
    }
    return false;
  }

  std::vector<Notification> received;
};

class DBusNotificationsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { bus = test::PrivateBus::start(why).release(); }
  static void TearDownTestSuite() {
    delete bus;
    bus = nullptr;
  }
  void SetUp() override {
    if (!bus && !test::PrivateBus::installed()) GTEST_SKIP() << why;
    ASSERT_TRUE(bus) << why;
    client.emplace(bus->connect());
    notifications =
        std::make_unique<DBusNotifications>(main, *client, QStringLiteral("com.tavuno.Tavuno"));
  }
  void TearDown() override {
    if (server) {
      server->unregisterObject(QString::fromLatin1(DBusNotifications::path));
      server->unregisterService(QString::fromLatin1(DBusNotifications::service));
    }
  }

  void startServer() {
    server.emplace(bus->connect());
    ASSERT_TRUE(
        server->registerVirtualObject(QString::fromLatin1(DBusNotifications::path), &recorder));
    ASSERT_TRUE(server->registerService(QString::fromLatin1(DBusNotifications::service)));
  }

  // Asks, and checks that the answer never comes inside the call.
  std::optional<bool> askPermission() {
    std::optional<bool> answer;
    notifications->requestPermission([&](bool granted) { answer = granted; });
    EXPECT_FALSE(answer) << "answered inside the call";
    if (!processEventsUntil([&] { return answer.has_value(); })) ADD_FAILURE() << "no answer";
    return answer;
  }

  static inline std::string why;
  static inline test::PrivateBus* bus = nullptr;
  QtMainQueue main;
  std::optional<QDBusConnection> client;
  std::optional<QDBusConnection> server;
  RecordingNotificationServer recorder;
  std::unique_ptr<DBusNotifications> notifications;
};

TEST_F(DBusNotificationsTest, PermissionAnswersWhetherAServerIsThere) {
  EXPECT_EQ(askPermission(), false) << "no notification server on the bus";
  startServer();
  EXPECT_EQ(askPermission(), true);
}

TEST_F(DBusNotificationsTest, EachPostArrivesAsANewNotificationOfTavuno) {
  startServer();
  notifications->post("Dispositivo de áudio conectado.");
  notifications->post("Dispositivo de áudio desconectado.");
  ASSERT_TRUE(processEventsUntil([&] { return recorder.received.size() == 2; }));
  EXPECT_EQ(recorder.received[0].body, QStringLiteral("Dispositivo de áudio conectado."));
  EXPECT_EQ(recorder.received[1].body, QStringLiteral("Dispositivo de áudio desconectado."));
  for (const auto& notification : recorder.received) {
    EXPECT_EQ(notification.appName, QStringLiteral("Tavuno"));
    EXPECT_EQ(notification.summary, QStringLiteral("Tavuno"));
    EXPECT_EQ(notification.icon, QStringLiteral("com.tavuno.Tavuno"));
    EXPECT_EQ(notification.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("com.tavuno.Tavuno"));
    EXPECT_EQ(notification.replacesId, 0u) << "never replaces an earlier one";
    EXPECT_EQ(notification.expireTimeout, -1);
  }
}

}  // namespace
}  // namespace tavuno
