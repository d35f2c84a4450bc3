#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>

namespace tavuno::test {

// org.kde.StatusNotifierWatcher as a panel runs it: it records who registers.
class SniWatcher : public QDBusVirtualObject {
 public:
  QStringList registered;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("RegisterStatusNotifierItem")) return false;
    registered.append(message.arguments().value(0).toString());
    connection.send(message.createReply());
    return true;
  }
};

}  // namespace tavuno::test
