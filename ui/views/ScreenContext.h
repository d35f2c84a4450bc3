#pragma once

#include <functional>

#include "ui/model/AutomationTexts.h"

namespace tavuno {
class GlobalShortcutController;
class LoginItemController;
}  // namespace tavuno

namespace tavuno::ui {

class AppIcons;
class ControllerBridge;
class MeterFeed;
class ServiceBridge;
class SettingsBridge;

// What the screens of the main window observe and act on; everything here
// is owned by the application and outlives the screens.
struct ScreenContext {
  ServiceBridge& service;
  MeterFeed& meters;
  SettingsBridge& settings;
  GlobalShortcutController& shortcut;
  ControllerBridge& shortcutChanges;
  LoginItemController& loginItem;
  ControllerBridge& loginItemChanges;
  AppIcons& icons;
  // The installed name of an application that is not running; may be empty.
  AppNameLookup appName;
  // Whether a tray icon is there to come back to; empty: yes.
  std::function<bool()> trayAvailable;
};

}  // namespace tavuno::ui
