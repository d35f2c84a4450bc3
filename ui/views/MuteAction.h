#pragma once

#include <QAction>

namespace tavuno::ui {

class ServiceBridge;

// Mute or unmute the output, Ctrl+Shift+M: one action on the window, the
// panel and the tray menu. Its title follows the mute state; it is disabled
// while the output has no mute control.
class MuteAction : public QAction {
  Q_OBJECT

 public:
  explicit MuteAction(ServiceBridge& bridge, QObject* parent = nullptr);
  // Actions get no LanguageChange: the owner calls this after a change.
  void render();

 private:
  ServiceBridge& bridge_;
};

}  // namespace tavuno::ui
