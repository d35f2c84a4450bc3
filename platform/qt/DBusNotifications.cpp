#include "platform/qt/DBusNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace tavuno {

namespace {

constexpr const char* interfaceName = "org.freedesktop.Notifications";

}  // namespace

DBusNotifications::DBusNotifications(MainQueue& main, QDBusConnection bus, QString appId)
    : main_(main), bus_(std::move(bus)), appId_(std::move(appId)), calls_(new QObject) {}

DBusNotifications::~DBusNotifications() = default;

void DBusNotifications::requestPermission(std::function<void(bool granted)> completion) {
  const QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(service), QString::fromLatin1(path), QString::fromLatin1(interfaceName),
      QStringLiteral("GetServerInformation"));
  // An unconnected bus fails the call at once; the watcher still answers
  // from the event loop, never inside this call.
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), calls_.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, calls_.get(),
                   [this, completion = std::move(completion)](QDBusPendingCallWatcher* done) {
                     const bool granted = !done->isError();
                     done->deleteLater();
                     main_.post([completion, granted] { completion(granted); });
                   });
}

void DBusNotifications::post(const std::string& body) {
  QDBusMessage notify =
      QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(path),
                                     QString::fromLatin1(interfaceName), QStringLiteral("Notify"));
  const QVariantMap hints{{QStringLiteral("desktop-entry"), appId_}};
  notify << QString::fromLatin1(notificationTitle)  // app_name
         << 0u                                      // replaces_id: always a new one
         << appId_                                  // app_icon
         << QString::fromLatin1(notificationTitle)  // summary
         << QString::fromStdString(body) << QStringList() << hints
         << -1;  // expire_timeout: the server's default
  // Delivery failures are not reported, so no reply is awaited.
  bus_.send(notify);
}

}  // namespace tavuno
