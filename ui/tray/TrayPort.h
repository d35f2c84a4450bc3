#pragma once

#include <functional>

#include <QIcon>
#include <QPoint>
#include <QString>

class QMenu;

namespace tavuno::ui {

// The system tray as the app uses it, so tests can drive the panel and the
// icon's gestures without a tray host.
class TrayPort {
 public:
  struct Handlers {
    std::function<void(QPoint)> activated;  // left click, at the cursor
    std::function<void()> middleClicked;
    std::function<void(int)> scrolled;  // notches, up positive
  };

  virtual ~TrayPort() = default;
  // Whether a tray host is there to show the icon now.
  virtual bool available() const = 0;
  virtual void setHandlers(Handlers handlers) = 0;
  virtual void setIcon(const QIcon& icon) = 0;
  // The same icon by theme name, for hosts that look it up in the panel's
  // theme (a symbolic icon follows a light or dark panel).
  virtual void setIconName(const QString&) {}
  virtual void setToolTip(const QString& text) = 0;
  virtual void setMenu(QMenu* menu) = 0;
  virtual void show() = 0;
};

}  // namespace tavuno::ui
