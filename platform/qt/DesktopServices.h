#pragma once

#include <memory>
#include <string>

#include <QDBusConnection>

#include "base/ports/MainQueue.h"
#include "system/AudioNotificationManaging.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/LoginItemManaging.h"

namespace tavuno {

// Tavuno's id on the desktop: its desktop file (without ".desktop"), its
// icon, its bus name.
inline constexpr const char* desktopAppId = "com.tavuno.Tavuno";

// The desktop's three system services, as the app uses them.
struct DesktopServices {
  std::shared_ptr<AudioNotificationManaging> notifications;
  std::unique_ptr<GlobalShortcutRegistering> shortcut;
  std::unique_ptr<LoginItemManaging> loginItem;
};

// What kind of session Tavuno runs in, as far as the shortcut cares.
struct DesktopSession {
  bool wayland = false;    // the compositor keeps the keyboard (no X11 grabs)
  std::string x11Display;  // empty: none
  // From $XDG_SESSION_TYPE (wayland or x11), else $WAYLAND_DISPLAY, and
  // from $DISPLAY.
  static DesktopSession fromEnvironment();
};

// The global shortcut the session allows: through the portal on Wayland
// where it offers one, by key grabs on X11, otherwise a back end that
// refuses every registration with "Atalhos globais não são suportados nesta
// sessão.".
std::unique_ptr<GlobalShortcutRegistering> makeGlobalShortcut(MainQueue& main,
                                                              const DesktopSession& session,
                                                              QDBusConnection bus);

// Notifications on the session bus, the shortcut for this session, and start
// at login through the XDG autostart entry.
DesktopServices desktopServices(MainQueue& main);

}  // namespace tavuno
