#pragma once

#include <array>

#include <QWidget>

#include "system/ShortcutId.h"
#include "ui/views/ScreenContext.h"

class QLabel;
class QVBoxLayout;

namespace tavuno::ui {

class PickerBox;
class Switch;

// The "Settings" section: the language (every text changes at once),
// automatic per-app control, start at login (read again each time the
// screen is shown: the user may have removed the autostart entry), device
// notifications, and the global shortcuts (muting the output, muting the
// microphone), each with its switch and its key, one below the other.
class SettingsView : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsView(const ScreenContext& context, QWidget* parent = nullptr);

  PickerBox* languagePicker() const { return language_; }
  Switch* automaticControl() const { return automatic_; }
  QLabel* automaticCaption() const { return automaticCaption_; }
  Switch* startAtLogin() const { return login_; }
  QLabel* loginMessage() const { return loginMessage_; }
  Switch* notifications() const { return notifications_; }
  Switch* shortcut(ShortcutId id) const { return shortcuts_[indexOf(id)].toggle; }
  QLabel* shortcutCaption(ShortcutId id) const { return shortcuts_[indexOf(id)].caption; }
  PickerBox* shortcutKey(ShortcutId id) const { return shortcuts_[indexOf(id)].key; }
  QLabel* shortcutMessage(ShortcutId id) const { return shortcuts_[indexOf(id)].message; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // One shortcut's switch, the caption under it, its key with the key's
  // title, and its last registration problem.
  struct ShortcutControls {
    Switch* toggle;
    QLabel* caption;
    QLabel* keyTitle;
    PickerBox* key;
    QLabel* message;
  };

  void addShortcut(ShortcutId id, const char* icon, QVBoxLayout* card);
  void renderShortcut(ShortcutId id);
  void render();

  ScreenContext context_;
  QLabel* languageTitle_;
  PickerBox* language_;
  Switch* automatic_;
  QLabel* automaticCaption_;
  Switch* login_;
  QLabel* loginMessage_;
  Switch* notifications_;
  std::array<ShortcutControls, allShortcutIds.size()> shortcuts_{};
  QLabel* footer_;
};

}  // namespace tavuno::ui
