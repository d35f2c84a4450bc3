#pragma once

#include <vector>

#include <QWidget>

#include "ui/views/ScreenContext.h"

class QLabel;
class QScrollArea;

namespace tavuno::ui {

class AutomationsView;
class DevicesView;
class ErrorLine;
class MixerView;
class OnboardingView;
class ProfilesView;
class SettingsView;
class Sidebar;

// The main window: the sidebar and, on the right, the selected section under
// its title and subtitle and the error line, centred up to 900 px. Closing
// it only hides it; a reopened window starts on the mixer. Until the guide is
// done it covers the window, and the keyboard stays inside it. Ctrl+W and
// Escape close it, Ctrl+1…5 pick the sections. It keeps its size and place
// for the next run.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int minimumWidth = 880;
  static constexpr int minimumHeight = 600;
  static constexpr int contentWidth = 900;

  explicit MainWindow(const ScreenContext& context, QWidget* parent = nullptr);
  ~MainWindow() override;

  void selectSection(int section);
  int section() const;
  // Shows the window (on the mixer when it was closed) and brings it forward.
  void open();

  Sidebar* sidebar() const { return sidebar_; }
  MixerView* mixer() const { return mixer_; }
  DevicesView* devices() const { return devices_; }
  ProfilesView* profiles() const { return profiles_; }
  AutomationsView* automations() const { return automations_; }
  SettingsView* settings() const { return settings_; }
  // The first-run guide; visible while it is not done.
  OnboardingView* onboarding() const { return onboarding_; }
  // The height the selected section needs without scrolling.
  int contentHeight() const;
  ErrorLine* errorLine() const { return error_; }
  QLabel* title() const { return title_; }
  QLabel* subtitle() const { return subtitle_; }

 signals:
  // Ctrl+Q, or "Encerrar Tavuno" in the sidebar.
  void quitRequested();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void addNavigationKeys();
  void keepGeometry();
  void retranslate();
  void showOnboarding(bool show);
  void addQuit();

  Sidebar* sidebar_;
  QLabel* title_;
  QLabel* subtitle_;
  ErrorLine* error_;
  QScrollArea* scroll_;
  QWidget* pages_;
  std::vector<QWidget*> sections_;
  int current_ = 0;
  MixerView* mixer_;
  DevicesView* devices_;
  ProfilesView* profiles_;
  AutomationsView* automations_;
  SettingsView* settings_;
  OnboardingView* onboarding_;
  SettingsBridge& settingsStore_;
};

}  // namespace tavuno::ui
