#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include "base/ports/DefaultsStore.h"
#include "desktop/PrivateBus.h"
#include "platform/qt/DesktopServices.h"
#include "platform/qt/PortalGlobalShortcut.h"
#include "platform/qt/QtMainQueue.h"
#include "system/GlobalShortcutController.h"
#include "ui/QtWait.h"

namespace tavuno::test {

// An entry of the portal's a(sa{sv}) lists, as the test's portal sends them.
struct BoundShortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const BoundShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BoundShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace tavuno::test

Q_DECLARE_METATYPE(tavuno::test::BoundShortcut)

namespace tavuno {
namespace {

using test::BoundShortcut;
using test::processEventsUntil;

constexpr ShortcutId output = ShortcutId::muteOutput;
constexpr ShortcutId mic = ShortcutId::muteInput;

// A global shortcuts portal that records what it is asked and answers as the
// test says.
class FakePortal : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QList<QVariant> a = message.arguments();
    if (message.member() == QLatin1String("Close")) {
      closed.push_back(message.path());
      connection.send(message.createReply());
      return true;
    }
    if (message.member() == QLatin1String("CreateSession") && a.size() == 1) {
      const QVariantMap options = qdbus_cast<QVariantMap>(a[0]);
      const QString session =
          objectPath(message, QStringLiteral("session"),
                     options.value(QStringLiteral("session_handle_token")).toString());
      answer(message, connection, 0, {{QStringLiteral("session_handle"), session}});
      return true;
    }
    if (message.member() == QLatin1String("BindShortcuts") && a.size() == 4) {
      session = a[0].value<QDBusObjectPath>().path();
      bound = qdbus_cast<QList<BoundShortcut>>(a[1]);
      ++binds;
      QList<BoundShortcut> accepted;
      for (const auto& shortcut : bound)
        if (bindAccepts && !leftOut.contains(shortcut.id)) accepted.append(shortcut);
      QVariantMap results{{QStringLiteral("shortcuts"), QVariant::fromValue(accepted)}};
      answer(message, connection, bindResponse, results);
      return true;
    }
    return false;
  }

  // The portal's signals.
  void activate(const QDBusConnection& connection, const QString& inSession, const QString& id) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(PortalGlobalShortcut::path),
        QString::fromLatin1(PortalGlobalShortcut::interfaceName), QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(inSession)) << id << qulonglong(1)
           << QVariantMap();
    connection.send(signal);
  }
  void closeSession(const QDBusConnection& connection) {
    connection.send(QDBusMessage::createSignal(
        session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed")));
  }
  // Answers held back by `hold`, sent now.
  void release(const QDBusConnection& connection) {
    for (const auto& message : held)
      connection.send(message);
    held.clear();
  }

  std::uint32_t bindResponse = 0;
  bool bindAccepts = true;  // the answer lists the shortcuts
  QStringList leftOut;      // but these
  int binds = 0;
  bool hold = false;  // keeps the Response signals until release()
  QString session;    // of the last bind
  QList<BoundShortcut> bound;
  std::vector<QString> closed;
  std::vector<QDBusMessage> held;

 private:
  // The request or session object of the caller, named after its token.
  static QString objectPath(const QDBusMessage& call, const QString& kind, const QString& token) {
    QString sender = call.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/%1/%2/%3").arg(kind, sender, token);
  }
  void answer(const QDBusMessage& call, const QDBusConnection& connection, std::uint32_t code,
              const QVariantMap& results) {
    const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().last());
    const QString request = objectPath(call, QStringLiteral("request"),
                                       options.value(QStringLiteral("handle_token")).toString());
    connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage response = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    response << code << results;
    if (hold) {
      held.push_back(response);
    } else {
      connection.send(response);
    }
  }
};

class PortalShortcutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    qDBusRegisterMetaType<BoundShortcut>();
    qDBusRegisterMetaType<QList<BoundShortcut>>();
    bus = test::PrivateBus::start(why).release();
  }
  static void TearDownTestSuite() {
    delete bus;
    bus = nullptr;
  }
  void SetUp() override {
    if (!bus && !test::PrivateBus::installed()) GTEST_SKIP() << why;
    ASSERT_TRUE(bus) << why;
    client.emplace(bus->connect());
  }
  void TearDown() override {
    controller.reset();
    backend.reset();
    if (server) {
      server->unregisterObject(QString::fromLatin1(PortalGlobalShortcut::path),
                               QDBusConnection::UnregisterTree);
      server->unregisterService(QString::fromLatin1(PortalGlobalShortcut::service));
    }
  }

  void startPortal() {
    server.emplace(bus->connect());
    ASSERT_TRUE(server->registerVirtualObject(QString::fromLatin1(PortalGlobalShortcut::path),
                                              &portal, QDBusConnection::SubPath));
    ASSERT_TRUE(server->registerService(QString::fromLatin1(PortalGlobalShortcut::service)));
    backend = std::make_unique<PortalGlobalShortcut>(main, *client);
    controller = std::make_unique<GlobalShortcutController>(
        defaults, *backend,
        GlobalShortcutController::Actions{{output, [this] { ++presses; }},
                                          {mic, [this] { ++micPresses; }}});
  }
  QString trigger(int index = 0) const {
    return portal.bound.size() <= index ? QString()
                                        : portal.bound[index]
                                              .properties.value(QStringLiteral("preferred_trigger"))
                                              .toString();
  }
  QStringList boundIds() const {
    QStringList ids;
    for (const auto& shortcut : portal.bound)
      ids.append(shortcut.id);
    return ids;
  }

  static inline std::string why;
  static inline test::PrivateBus* bus = nullptr;
  QtMainQueue main;
  InMemoryDefaultsStore defaults;
  std::optional<QDBusConnection> client;
  std::optional<QDBusConnection> server;
  FakePortal portal;
  std::unique_ptr<PortalGlobalShortcut> backend;
  std::unique_ptr<GlobalShortcutController> controller;
  int presses = 0;
  int micPresses = 0;
};

TEST_F(PortalShortcutTest, TheBoundShortcutActsAndALetterChangeBindsAnew) {
  startPortal();
  controller->setEnabled(output, true);
  EXPECT_TRUE(controller->enabled(output));
  ASSERT_TRUE(processEventsUntil([&] { return !portal.bound.empty(); }));
  EXPECT_EQ(portal.bound[0].id, QStringLiteral("mute-output"));
  EXPECT_EQ(trigger(), QStringLiteral("CTRL+ALT+LOGO+m"));
  EXPECT_FALSE(
      portal.bound[0].properties.value(QStringLiteral("description")).toString().isEmpty());

  const QString first = portal.session;
  portal.activate(*server, first, QStringLiteral("another-id"));
  portal.activate(*server, QStringLiteral("/org/freedesktop/portal/desktop/session/x/y"),
                  QStringLiteral("mute-output"));
  portal.activate(*server, first, QStringLiteral("mute-output"));
  ASSERT_TRUE(processEventsUntil([&] { return presses >= 1; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(presses, 1) << "only our shortcut in our session acts";

  controller->setKey(output, ShortcutKey::v);
  ASSERT_TRUE(processEventsUntil([&] { return trigger() == QStringLiteral("CTRL+ALT+LOGO+v"); }));
  EXPECT_EQ(portal.closed, std::vector<QString>{first}) << "the old session is closed";
  portal.activate(*server, first, QStringLiteral("mute-output"));
  portal.activate(*server, portal.session, QStringLiteral("mute-output"));
  ASSERT_TRUE(processEventsUntil([&] { return presses >= 2; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(presses, 2) << "the closed session no longer acts";

  controller->setEnabled(output, false);
  ASSERT_TRUE(processEventsUntil([&] { return portal.closed.size() == 2; }));
}

TEST_F(PortalShortcutTest, ARefusalOrAClosedSessionSwitchesTheShortcutOff) {
  startPortal();
  const std::string refused = "O atalho não pôde ser registrado (erro 1); ele pode estar em uso.";
  struct Row {
    const char* name;
    std::uint32_t response;
    bool accepts;
  };
  for (const Row& row : {Row{"the user cancelled", 1, true}, Row{"bound nothing", 0, false}}) {
    SCOPED_TRACE(row.name);
    portal.bindResponse = row.response;
    portal.bindAccepts = row.accepts;
    controller->setEnabled(output, true);
    ASSERT_TRUE(processEventsUntil([&] { return !controller->enabled(output); }));
    EXPECT_EQ(controller->message(output), refused);
    EXPECT_EQ(defaults.boolean("globalShortcutEnabled"), false);
  }

  portal.bindResponse = 0;
  portal.bindAccepts = true;
  portal.bound.clear();
  controller->setEnabled(output, true);
  ASSERT_TRUE(processEventsUntil([&] { return !portal.bound.empty(); }));
  portal.closeSession(*server);
  ASSERT_TRUE(processEventsUntil([&] { return !controller->enabled(output); }));
  EXPECT_EQ(controller->message(output),
            "O atalho não pôde ser registrado (erro 2); ele pode estar em uso.");
}

TEST_F(PortalShortcutTest, ASessionCreatedForAReleasedShortcutIsClosed) {
  startPortal();
  portal.hold = true;
  controller->setEnabled(output, true);
  controller->setEnabled(output, false);
  ASSERT_TRUE(processEventsUntil([&] { return portal.held.size() == 1; }));
  portal.release(*server);
  ASSERT_TRUE(processEventsUntil([&] { return portal.closed.size() == 1; }));
  EXPECT_TRUE(portal.bound.empty()) << "nothing bound for it";
}

TEST_F(PortalShortcutTest, BothShortcutsAreBoundInOneSessionAndEachActsOnItsOwn) {
  startPortal();
  controller->setEnabled(output, true);
  ASSERT_TRUE(processEventsUntil([&] { return portal.binds == 1; }));
  const QString outputsOwn = portal.session;
  controller->setEnabled(mic, true);
  ASSERT_TRUE(processEventsUntil([&] { return portal.binds == 2; }));
  EXPECT_EQ(boundIds(), (QStringList{QStringLiteral("mute-output"), QStringLiteral("mute-input")}));
  EXPECT_EQ(trigger(0), QStringLiteral("CTRL+ALT+LOGO+m"));
  EXPECT_EQ(trigger(1), QStringLiteral("CTRL+ALT+LOGO+v"));
  EXPECT_EQ(portal.bound[1].properties.value(QStringLiteral("description")).toString(),
            QStringLiteral("Silenciar ou reativar o microfone"));
  EXPECT_EQ(portal.closed, std::vector<QString>{outputsOwn}) << "a session binds once";

  portal.activate(*server, portal.session, QStringLiteral("mute-input"));
  portal.activate(*server, portal.session, QStringLiteral("mute-input"));
  portal.activate(*server, outputsOwn, QStringLiteral("mute-output"));
  portal.activate(*server, portal.session, QStringLiteral("mute-output"));
  ASSERT_TRUE(processEventsUntil([&] { return micPresses == 2 && presses == 1; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(presses, 1) << "the closed session no longer acts";

  // Releasing one binds the other alone, in a session of its own.
  controller->setEnabled(output, false);
  ASSERT_TRUE(processEventsUntil([&] { return portal.binds == 3; }));
  EXPECT_EQ(boundIds(), QStringList{QStringLiteral("mute-input")});
  portal.activate(*server, portal.session, QStringLiteral("mute-output"));
  portal.activate(*server, portal.session, QStringLiteral("mute-input"));
  ASSERT_TRUE(processEventsUntil([&] { return micPresses == 3; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(presses, 1);
  EXPECT_TRUE(controller->enabled(mic));
}

TEST_F(PortalShortcutTest, ABindThatLeavesOneOutSwitchesThatOneOffAndAClosedSessionBoth) {
  startPortal();
  portal.leftOut = QStringList{QStringLiteral("mute-input")};
  controller->setEnabled(output, true);
  controller->setEnabled(mic, true);
  ASSERT_TRUE(processEventsUntil([&] { return !controller->enabled(mic); }));
  EXPECT_EQ(controller->message(mic),
            "O atalho não pôde ser registrado (erro 1); ele pode estar em uso.");
  EXPECT_EQ(defaults.boolean("inputMuteShortcutEnabled"), false);
  EXPECT_TRUE(controller->enabled(output));
  const int binds = portal.binds;
  portal.activate(*server, portal.session, QStringLiteral("mute-output"));
  ASSERT_TRUE(processEventsUntil([&] { return presses == 1; }));
  EXPECT_EQ(portal.binds, binds) << "the output's session stays as it is";

  portal.leftOut.clear();
  controller->setEnabled(mic, true);
  ASSERT_TRUE(processEventsUntil([&] { return portal.binds == binds + 1; }));
  portal.closeSession(*server);
  ASSERT_TRUE(processEventsUntil(
      [&] { return !controller->enabled(output) && !controller->enabled(mic); }));
  EXPECT_EQ(controller->message(mic),
            "O atalho não pôde ser registrado (erro 2); ele pode estar em uso.");
}

TEST(DesktopShortcutChoice, WithoutPortalOrX11DisplayNoShortcutCanBeHad) {
  std::string why;
  auto bus = test::PrivateBus::start(why);
  if (!bus && !test::PrivateBus::installed()) GTEST_SKIP() << why;
  ASSERT_TRUE(bus) << why;
  QtMainQueue main;
  for (const DesktopSession& session :
       {DesktopSession{.wayland = true, .x11Display = ":0"}, DesktopSession{}}) {
    auto backend = makeGlobalShortcut(main, session, bus->connect());
    SystemResult result = backend->registerKey(output, ShortcutKey::m, [] {});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error()->description, "Atalhos globais não são suportados nesta sessão.");
  }
}

}  // namespace
}  // namespace tavuno
