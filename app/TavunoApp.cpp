#include "app/TavunoApp.h"

#include <cstdio>

#include <QApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QMenu>
#include <QThread>

#include "app/DemoScene.h"
#ifdef TAVUNO_LINUX_AUDIO
#include "app/LinuxPlatform.h"
#endif
#include "platform/qt/EmbeddedCatalog.h"
#include "platform/sim/FakeAudioNotifications.h"
#include "platform/sim/FakeGlobalShortcut.h"
#include "platform/sim/FakeLoginItem.h"
#include "platform/std/FileDefaultsStore.h"
#include "system/MuteTarget.h"
#include "ui/bridge/ControllerBridge.h"
#include "ui/bridge/MeterFeed.h"
#include "ui/bridge/ServiceBridge.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/tray/DesktopTrayIcon.h"
#include "ui/tray/TrayController.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MuteAction.h"
#include "ui/views/TrayPanel.h"
#include "ui/widgets/AppIcons.h"
#include "ui/widgets/Theme.h"

namespace tavuno {

PlatformBuilder TavunoApp::demoPlatform() {
  return [](DefaultsStore& defaults, MainQueue& main) {
    DemoScene::seedSettings(defaults);
    auto scene = std::make_shared<DemoScene>(main);
    Platform platform;
    platform.ports.emplace(scene->ports(defaults, main));
    platform.started = [scene = scene.get()](AudioService&) { scene->audio().start(); };
    platform.owner = std::move(scene);
    return platform;
  };
}

std::function<DesktopServices(MainQueue&)> TavunoApp::simulatedDesktop() {
  return [](MainQueue& main) {
    DesktopServices services;
    auto notifications = std::make_shared<FakeAudioNotifications>(main);
    notifications->autoAnswer = true;
    services.notifications = std::move(notifications);
    services.shortcut = std::make_unique<FakeGlobalShortcut>(main);
    services.loginItem = std::make_unique<FakeLoginItem>();
    return services;
  };
}

TavunoApp::TavunoApp(AppOptions options, QObject* parent)
    : QObject(parent),
      background_(options.background),
      previousLanguage_(TavunoLanguage::installed()),
      defaults_(std::move(options.settings)) {
  PlatformBuilder build = std::move(options.platform);
  if (!build) {
#ifdef TAVUNO_LINUX_AUDIO
    build = options.demo ? demoPlatform() : linuxPlatform();
#else
    if (!options.demo)
      std::fprintf(stderr, "tavuno: no audio server back end in this build; running the demo\n");
    build = demoPlatform();
    options.demo = true;
#endif
  }
  if (!defaults_) {
    if (options.demo)
      defaults_ = std::make_unique<InMemoryDefaultsStore>();
    else
      defaults_ = std::make_unique<FileDefaultsStore>(FileDefaultsStore::defaultLocation());
  }
  auto language = std::make_shared<LanguageEnvironment>();
  language->storedPreference = preferenceFrom(*defaults_);
  language->preferredLanguages = posixPreferredLanguages;
  language->lookup = embeddedCatalogLookup;
  TavunoLanguage::install(std::move(language));

  DesktopServices desktop = options.desktop ? options.desktop(main_) : desktopServices(main_);
  platform_ = std::make_unique<Platform>(build(*defaults_, main_));
  if (!platform_->options.notifications) platform_->options.notifications = desktop.notifications;
  service_ = AudioService::create(*platform_->ports, platform_->options);
  if (platform_->started) platform_->started(*service_);
  // A settings file that could not be read (and was set aside, or could not
  // be and is left alone) is worth telling, unless starting found worse. One
  // that is never written (a newer version's, or one that could not be set
  // aside) is told in any case: nothing changed now would be kept.
  if (auto* file = dynamic_cast<FileDefaultsStore*>(defaults_.get());
      file && !file->message().empty() && (!service_->state().error || !file->writable()))
    service_->setError(file->message());
  // Built after the service and holding it weakly.
  shortcutBackend_ = std::move(desktop.shortcut);
  const auto target = std::static_pointer_cast<MuteTarget>(service_);
  shortcut_ = std::make_unique<GlobalShortcutController>(
      *defaults_, *shortcutBackend_,
      GlobalShortcutController::Actions{
          {ShortcutId::muteOutput, muteShortcutAction(target, MuteSide::output)},
          {ShortcutId::muteInput, muteShortcutAction(target, MuteSide::input)}});
  loginItemBackend_ = std::move(desktop.loginItem);
  loginItem_ = std::make_unique<LoginItemController>(*loginItemBackend_);

  buildScreens(std::move(options.tray));
  if (auto* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, this, &TavunoApp::shutdown);
}

TavunoApp::~TavunoApp() {
  shutdown();
}

void TavunoApp::buildScreens(std::function<std::unique_ptr<ui::TrayPort>()> tray) {
  settingsBridge_ = std::make_unique<ui::SettingsBridge>(*defaults_);
  settingsBridge_->installTranslators();
  bridge_ = std::make_unique<ui::ServiceBridge>(service_);
  shortcutBridge_ = std::make_unique<ui::ControllerBridge>(*shortcut_);
  loginItemBridge_ = std::make_unique<ui::ControllerBridge>(*loginItem_);
  appIcons_ = std::make_unique<ui::AppIcons>(platform_->appIconName);
  bridge_->setAppIcons(appIcons_.get());
  meters_ = std::make_unique<ui::MeterFeed>(*bridge_);
  muteAction_ = std::make_unique<ui::MuteAction>(*bridge_);
  connect(settingsBridge_.get(), &ui::SettingsBridge::languageChanged, muteAction_.get(),
          &ui::MuteAction::render);
  if (tray) {
    trayPort_ = tray();
  } else {
    // Tavuno's own item where a watcher runs (Qt's does not pass the host's
    // scroll on), XEmbed where none does, the item when a watcher comes later.
    trayPort_ = std::make_unique<ui::DesktopTrayIcon>(QDBusConnection::sessionBus());
  }
  trayController_ = std::make_unique<ui::TrayController>(
      *bridge_, *trayPort_, [this]() -> ui::TrayPanel& { return *panel(); }, *muteAction_,
      [this] { openWindow(); }, [this] { quit(); });
  // A style sheet main() left for later comes with the first thing shown: the
  // window, the panel, the tray menu or the icon's tooltip.
  if (ui::styleSheetPending()) {
    connect(trayController_->menu(), &QMenu::aboutToShow, this, &TavunoApp::styleOnce);
    qApp->installEventFilter(this);
  }
}

void TavunoApp::styleOnce() {
  ui::applyPendingStyleSheet();
  qApp->removeEventFilter(this);
}

bool TavunoApp::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip) styleOnce();
  return QObject::eventFilter(watched, event);
}

ui::TrayPanel* TavunoApp::panel() {
  // Built at the first click on the tray icon, like the window: its rows
  // with their fonts and styles cost about 6 MB with four applications, which
  // a Tavuno left in the tray never uses.
  if (!panel_ && !shutDown_) {
    styleOnce();
    panel_ = std::make_unique<ui::TrayPanel>(*bridge_, *meters_);
    panel_->addAction(muteAction_.get());
    connect(panel_.get(), &ui::TrayPanel::openRequested, this, &TavunoApp::openWindow);
    connect(panel_.get(), &ui::TrayPanel::quitRequested, this, &TavunoApp::quit);
  }
  return panel_.get();
}

ui::MainWindow* TavunoApp::window() {
  // Built when first asked for: a Tavuno started at login in the tray never
  // pays for a window it does not show (about 17 MB).
  if (!window_ && !shutDown_) {
    styleOnce();
    const ui::ScreenContext context{.service = *bridge_,
                                    .meters = *meters_,
                                    .settings = *settingsBridge_,
                                    .shortcut = *shortcut_,
                                    .shortcutChanges = *shortcutBridge_,
                                    .loginItem = *loginItem_,
                                    .loginItemChanges = *loginItemBridge_,
                                    .icons = *appIcons_,
                                    .appName = platform_->appName,
                                    .trayAvailable = [this] { return trayAvailable(); }};
    window_ = std::make_unique<ui::MainWindow>(context);
    window_->addAction(muteAction_.get());
    connect(window_.get(), &ui::MainWindow::quitRequested, this, &TavunoApp::quit);
  }
  return window_.get();
}

void TavunoApp::openWindow() {
  if (auto* shown = window()) shown->open();
}

bool TavunoApp::trayAvailable() const {
  return trayPort_ && trayPort_->available();
}

void TavunoApp::start() {
  if (!background_ || !trayAvailable()) openWindow();
}

void TavunoApp::quit() {
  // Never from inside the click that asked for it: the button goes too.
  if (QThread::currentThread()->loopLevel() > 0)
    QCoreApplication::exit(0);  // aboutToQuit then shuts down (quit() could be refused)
  else
    QMetaObject::invokeMethod(this, &TavunoApp::shutdown, Qt::QueuedConnection);
}

void TavunoApp::shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  main_.close();
  trayController_.reset();
  trayPort_.reset();
  panel_.reset();
  window_.reset();
  muteAction_.reset();
  meters_.reset();
  appIcons_.reset();
  loginItemBridge_.reset();
  shortcutBridge_.reset();
  bridge_.reset();
  settingsBridge_.reset();
  loginItem_.reset();
  loginItemBackend_.reset();
  shortcut_.reset();
  shortcutBackend_.reset();
  service_.reset();
  platform_.reset();
  // Everything that may change a setting is gone: write what is pending now.
  if (auto* file = dynamic_cast<FileDefaultsStore*>(defaults_.get())) file->flush();
  TavunoLanguage::install(previousLanguage_);
}

}  // namespace tavuno
