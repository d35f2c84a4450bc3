#pragma once

#include <functional>

#include <QObject>

class QAction;
class QMenu;

namespace tavuno::ui {

class ServiceBridge;
class TrayPanel;
class TrayPort;

// Ties the tray icon to the service and the panel: the icon shows the mute
// state and the tooltip the volume; a left click toggles the panel, a middle
// click toggles mute, a scroll notch moves the volume by 5 %; the menu opens
// Tavuno, mutes or unmutes, applies a profile, or quits. The panel is asked
// for at the first click, so a Tavuno that stays in the tray never builds it.
class TrayController : public QObject {
  Q_OBJECT

 public:
  TrayController(ServiceBridge& bridge, TrayPort& port, std::function<TrayPanel&()> panel,
                 QAction& muteAction, std::function<void()> openWindow, std::function<void()> quit,
                 QObject* parent = nullptr);
  ~TrayController() override;

  QMenu* menu() const { return menu_; }

 private:
  void render();
  void rebuildProfiles();
  void retranslate();
  bool eventFilter(QObject* watched, QEvent* event) override;

  ServiceBridge& bridge_;
  TrayPort& port_;
  std::function<TrayPanel&()> panel_;
  QMenu* menu_;
  QMenu* profiles_;
  QAction* open_;
  QAction* quit_;
  bool lastMuted_ = false;
  bool iconSet_ = false;
};

}  // namespace tavuno::ui
