#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "base/ports/DefaultsStore.h"
#include "base/text/TavunoLanguage.h"
#include "platform/qt/DesktopServices.h"
#include "platform/qt/QtMainQueue.h"
#include "service/AudioService.h"
#include "system/GlobalShortcutController.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/LoginItemController.h"
#include "ui/model/AutomationTexts.h"

namespace tavuno {

namespace ui {
class AppIcons;
class ControllerBridge;
class MainWindow;
class MeterFeed;
class MuteAction;
class ServiceBridge;
class SettingsBridge;
class TrayController;
class TrayPanel;
class TrayPort;
}  // namespace ui

// What the service runs on: its ports and options, whatever owns the
// platform objects behind them (released after the service), a step run
// once the service exists, and where the screens find an application's icon
// (a theme icon name or a file; nothing: the generic icon).
struct Platform {
  std::optional<ServicePorts> ports;
  ServiceOptions options;
  std::shared_ptr<void> owner;
  std::function<void(AudioService&)> started;
  // An application's icon by app id: a theme icon name or an absolute file;
  // empty (or nothing for an id): the generic application symbol.
  std::function<std::optional<std::string>(const std::string&)> appIconName;
  // The installed name of an application that is not running; may be empty.
  AppNameLookup appName;
};
using PlatformBuilder = std::function<Platform(DefaultsStore&, MainQueue&)>;

struct AppOptions {
  bool demo = false;        // the simulated platform with the demo scene
  bool background = false;  // start without showing the window
  // The settings store; empty: the user's settings file (the demo keeps its
  // settings in memory).
  std::unique_ptr<DefaultsStore> settings;
  // The platform; empty: the desktop's audio server (the demo when `demo`).
  PlatformBuilder platform;
  // The tray; empty: the system tray.
  std::function<std::unique_ptr<ui::TrayPort>()> tray;
  // Notifications, global shortcut and start at login; empty: the desktop's.
  std::function<DesktopServices(MainQueue&)> desktop;
};

// The composition root: the settings store, the main queue on Qt's loop, the
// platform, the desktop services, the service with its refresh timer, the
// shortcut controller built after it (holding it weakly), the login item
// controller, and the screens: the main window (with the first-run guide
// until it is done), the tray icon and its panel.
//
// Quitting (QCoreApplication::aboutToQuit, or shutdown()) closes the main
// queue first, so a worker waiting for the main thread is released and no
// session starts any more; then the screens go, then the service, which
// stops every session and so gives every application its own audio back,
// then the platform.
class TavunoApp : public QObject {
  Q_OBJECT

 public:
  explicit TavunoApp(AppOptions options, QObject* parent = nullptr);
  ~TavunoApp() override;

  // Shows the main window, unless started in the background with a tray to
  // come back from.
  void start();
  void shutdown();
  // Ends the event loop, then shuts down (never from inside the click or
  // call that asked for it).
  void quit();
  bool isShutDown() const { return shutDown_; }

  QtMainQueue& mainQueue() { return main_; }
  DefaultsStore& settings() { return *defaults_; }
  std::shared_ptr<AudioService> service() const { return service_; }
  GlobalShortcutController* shortcut() const { return shortcut_.get(); }
  GlobalShortcutRegistering* shortcutBackend() const { return shortcutBackend_.get(); }
  LoginItemController* loginItem() const { return loginItem_.get(); }
  LoginItemManaging* loginItemBackend() const { return loginItemBackend_.get(); }
  // The main window, built on first use; null once shut down.
  ui::MainWindow* window();
  // Shows the main window (building it first when needed).
  void openWindow();
  // The tray panel, built on first use; null once shut down.
  ui::TrayPanel* panel();
  ui::ServiceBridge* bridge() const { return bridge_.get(); }
  ui::SettingsBridge* settingsBridge() const { return settingsBridge_.get(); }
  ui::MeterFeed* meters() const { return meters_.get(); }
  ui::TrayController* tray() const { return trayController_.get(); }
  ui::TrayPort* trayPort() const { return trayPort_.get(); }
  ui::MuteAction* muteAction() const { return muteAction_.get(); }
  // The demo's platform owner, when running the demo.
  void* platformOwner() const { return platform_ ? platform_->owner.get() : nullptr; }

  // The demo scene as a platform.
  static PlatformBuilder demoPlatform();
  // Desktop services in memory (notifications allowed, every shortcut free,
  // no autostart entry), for tests and screenshots.
  static std::function<DesktopServices(MainQueue&)> simulatedDesktop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void styleOnce();
  void buildScreens(std::function<std::unique_ptr<ui::TrayPort>()> tray);
  bool trayAvailable() const;

  bool background_;
  std::shared_ptr<const LanguageEnvironment> previousLanguage_;
  std::unique_ptr<DefaultsStore> defaults_;
  QtMainQueue main_;
  std::unique_ptr<Platform> platform_;
  std::shared_ptr<AudioService> service_;
  std::unique_ptr<GlobalShortcutRegistering> shortcutBackend_;
  std::unique_ptr<GlobalShortcutController> shortcut_;
  std::unique_ptr<LoginItemManaging> loginItemBackend_;
  std::unique_ptr<LoginItemController> loginItem_;

  std::unique_ptr<ui::SettingsBridge> settingsBridge_;
  std::unique_ptr<ui::ControllerBridge> shortcutBridge_;
  std::unique_ptr<ui::ControllerBridge> loginItemBridge_;
  std::unique_ptr<ui::AppIcons> appIcons_;
  std::unique_ptr<ui::ServiceBridge> bridge_;
  std::unique_ptr<ui::MeterFeed> meters_;
  std::unique_ptr<ui::MuteAction> muteAction_;
  std::unique_ptr<ui::MainWindow> window_;
  std::unique_ptr<ui::TrayPanel> panel_;
  std::unique_ptr<ui::TrayPort> trayPort_;
  std::unique_ptr<ui::TrayController> trayController_;
  bool shutDown_ = false;
};

}  // namespace tavuno
