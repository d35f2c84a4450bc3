#include "platform/qt/DesktopServices.h"

#include <cerrno>

#include <QString>

#include "base/text/TavunoLanguage.h"
#include "platform/qt/DBusNotifications.h"
#include "platform/qt/PortalGlobalShortcut.h"
#include "platform/qt/X11GlobalShortcut.h"
#include "platform/std/XdgAutostartLoginItem.h"

namespace tavuno {

namespace {

// A session where no global shortcut can be had.
class UnsupportedGlobalShortcut final : public GlobalShortcutRegistering {
 public:
  SystemResult registerKey(ShortcutId, ShortcutKey, std::function<void()>) override {
    return SystemError{ENOTSUP, tr("Atalhos globais não são suportados nesta sessão.")};
  }
  void unregister(ShortcutId) override {}
};

}  // namespace

DesktopSession DesktopSession::fromEnvironment() {
  DesktopSession session;
  // The session type the login manager set wins over a display variable
  // that may have leaked in from elsewhere.
  const QString type = qEnvironmentVariable("XDG_SESSION_TYPE");
  session.wayland =
      type == QStringLiteral("wayland") ||
      (type != QStringLiteral("x11") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
  session.x11Display = qEnvironmentVariable("DISPLAY").toStdString();
  return session;
}

std::unique_ptr<GlobalShortcutRegistering> makeGlobalShortcut(MainQueue& main,
                                                              const DesktopSession& session,
                                                              QDBusConnection bus) {
  // On Wayland an X11 grab would only see keys typed into X11 windows.
  if (session.wayland) {
    if (PortalGlobalShortcut::offered(bus))
      return std::make_unique<PortalGlobalShortcut>(main, bus);
  } else if (!session.x11Display.empty()) {
    if (auto x11 = X11GlobalShortcut::connect(main, session.x11Display)) return x11;
  }
  return std::make_unique<UnsupportedGlobalShortcut>();
}

DesktopServices desktopServices(MainQueue& main) {
  DesktopServices services;
  const QDBusConnection bus = QDBusConnection::sessionBus();
  services.notifications =
      std::make_shared<DBusNotifications>(main, bus, QString::fromLatin1(desktopAppId));
  services.shortcut = makeGlobalShortcut(main, DesktopSession::fromEnvironment(), bus);
  services.loginItem = std::make_unique<XdgAutostartLoginItem>(
      XdgAutostartLoginItem::defaultDirectory(), XdgAutostartLoginItem::currentExecutable());
  return services;
}

}  // namespace tavuno
