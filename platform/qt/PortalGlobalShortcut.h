#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "base/ports/MainQueue.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/HotKeyDispatch.h"

class QDBusMessage;

namespace tavuno {

// The global shortcuts through the desktop portal
// (org.freedesktop.portal.GlobalShortcuts), where the compositor keeps the
// keyboard to itself (Wayland).
//
// The portal decides later and may ask the user, so registerKey() succeeds
// at once and the outcome follows: a session is created, every registered
// shortcut is bound in one request under its name (ShortcutTraits), with
// Control+Alt+Super and its letter as the preferred trigger (the user may
// pick another), and each activation goes through HotKeyDispatch. A session
// binds once, so any registration or release starts a new session for the
// shortcuts registered then and closes the old one. A refusal or the portal
// closing the session afterwards reaches the revoked handler, for each
// shortcut, with the portal's response code; a bind that leaves some out
// loses those only. Nothing is registered for a lost shortcut. Answers to a
// session that was since replaced are ignored, and a session they created is
// closed.
//
// Main thread only; `main` must outlive it.
class PortalGlobalShortcut final : public QObject, public GlobalShortcutRegistering {
  Q_OBJECT

 public:
  static constexpr const char* service = "org.freedesktop.portal.Desktop";
  static constexpr const char* path = "/org/freedesktop/portal/desktop";
  static constexpr const char* interfaceName = "org.freedesktop.portal.GlobalShortcuts";
  // The response code of a failure that came with none (a failed call).
  static constexpr std::int32_t otherError = 2;

  // Whether a portal on `bus` offers global shortcuts; waits for its answer
  // at most `timeoutMs` (the portal may be started on demand).
  static bool offered(QDBusConnection bus, int timeoutMs = 3000);
  // "CTRL+ALT+LOGO+m" for m, in the trigger notation of the freedesktop
  // shortcut portal.
  static QString preferredTrigger(ShortcutKey key);

  PortalGlobalShortcut(MainQueue& main, QDBusConnection bus);
  ~PortalGlobalShortcut() override;

  SystemResult registerKey(ShortcutId shortcut, ShortcutKey key,
                           std::function<void()> action) override;
  void unregister(ShortcutId shortcut) override;
  void setRevokedHandler(std::function<void(ShortcutId, SystemError)> handler) override {
    revoked_ = std::move(handler);
  }

 private slots:
  void requestAnswered(const QDBusMessage& response);
  void activated(const QDBusMessage& signal);
  void sessionClosed(const QDBusMessage& signal);

 private:
  enum class Step { createSession, bindShortcuts };
  struct Pending {
    std::uint64_t generation;
    Step step;
  };

  // Calls `method` of the portal with the options' handle_token; its answer
  // comes as the Response of the request object named after that token.
  void request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
  void forgetRequest(const QString& requestPath);
  void bind(const QString& session);
  void closeSession(const QString& session);
  // Closes the current session and, while any shortcut is registered,
  // creates the next.
  void renew();
  void lose(ShortcutId shortcut, std::int32_t status);
  void loseAll(std::int32_t status);
  QString nextToken();

  HotKeyDispatch dispatch_;
  QDBusConnection bus_;
  std::function<void(ShortcutId, SystemError)> revoked_;
  // Bumped by every new session: answers carrying an older one are stale.
  std::uint64_t generation_ = 0;
  std::map<QString, Pending> requests_;          // by request object path
  std::map<ShortcutId, ShortcutKey> shortcuts_;  // registered (perhaps not yet bound)
  QString session_;                              // of the current registrations, once created
  unsigned tokens_ = 0;
};

}  // namespace tavuno
