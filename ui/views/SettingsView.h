#pragma once

#include <QWidget>

#include "ui/views/ScreenContext.h"

class QLabel;

namespace tavuno::ui {

class PickerBox;
class Switch;

// The "Settings" section: the language (every text changes at once),
// automatic per-app control, start at login (read again each time the
// screen is shown: the user may have removed the autostart entry), device
// notifications, and the global mute shortcut with its key.
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
  Switch* shortcut() const { return shortcut_; }
  QLabel* shortcutCaption() const { return shortcutCaption_; }
  PickerBox* shortcutKey() const { return key_; }
  QLabel* shortcutMessage() const { return shortcutMessage_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void render();

  ScreenContext context_;
  QLabel* languageTitle_;
  PickerBox* language_;
  Switch* automatic_;
  QLabel* automaticCaption_;
  Switch* login_;
  QLabel* loginMessage_;
  Switch* notifications_;
  Switch* shortcut_;
  QLabel* shortcutCaption_;
  QLabel* keyTitle_;
  PickerBox* key_;
  QLabel* shortcutMessage_;
  QLabel* footer_;
};

}  // namespace tavuno::ui
