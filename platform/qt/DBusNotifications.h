#pragma once

#include <memory>
#include <string>

#include <QDBusConnection>
#include <QString>

#include "base/ports/MainQueue.h"
#include "system/AudioNotificationManaging.h"

class QObject;

namespace tavuno {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus).
//
// The bus has no permission step: requestPermission() answers whether a
// notification server is there (it asks the server for its information),
// later, through the main queue. Every post is a new notification titled
// "Tavuno", with Tavuno's icon and the desktop-entry hint naming its desktop
// file, so the desktop groups it under Tavuno; nothing is replaced.
//
// Main thread only; `main` must outlive it.
class DBusNotifications final : public AudioNotificationManaging {
 public:
  static constexpr const char* service = "org.freedesktop.Notifications";
  static constexpr const char* path = "/org/freedesktop/Notifications";

  // `appId` names both the icon and the desktop file (without ".desktop").
  DBusNotifications(MainQueue& main, QDBusConnection bus, QString appId);
  ~DBusNotifications() override;

  DBusNotifications(const DBusNotifications&) = delete;
  DBusNotifications& operator=(const DBusNotifications&) = delete;

  void requestPermission(std::function<void(bool granted)> completion) override;
  void post(const std::string& body) override;

 private:
  MainQueue& main_;
  QDBusConnection bus_;
  QString appId_;
  // Parent of the calls in flight: going with it, they answer no one.
  std::unique_ptr<QObject> calls_;
};

}  // namespace tavuno
