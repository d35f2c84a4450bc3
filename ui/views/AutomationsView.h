#pragma once

#include <optional>
#include <string>

#include <QWidget>

#include "ui/views/ScreenContext.h"

class QLabel;
class QPushButton;

namespace tavuno::ui {

class Card;
class HistoryList;
class PickerBox;
class RuleList;
class ServiceBridge;
class TimeField;

// The "Automations" section: a panel per kind of rule (a device connects, an
// application opens, a time of day) with its pickers and its rules, and the
// recent automations.
class AutomationsView : public QWidget {
  Q_OBJECT

 public:
  explicit AutomationsView(const ScreenContext& context, QWidget* parent = nullptr);

  PickerBox* devicePicker() const { return device_; }
  PickerBox* appPicker() const { return app_; }
  TimeField* timeField() const { return time_; }
  // The "Perfil" picker of a panel: 0 device, 1 application, 2 time.
  PickerBox* profilePicker(int panel) const { return profilePickers_[panel]; }
  QPushButton* createButton(int panel) const { return creates_[panel]; }
  RuleList* connectionRules() const { return connectionRules_; }
  RuleList* launchRules() const { return launchRules_; }
  RuleList* scheduledRules() const { return scheduledRules_; }
  HistoryList* history() const { return history_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  Card* makePanel(const char* icon, QLabel*& heading, QLabel*& caption);
  void render(quint64 fields);
  void renderTexts();
  void updateButtons();

  ScreenContext context_;
  ServiceBridge& bridge_;
  // The choices of the three panels; nothing while "Selecione" shows.
  std::optional<std::string> deviceUID_, launchAppID_;
  std::optional<std::string> profileIDs_[3];

  QLabel* headings_[4];
  QLabel* captions_[3];
  QLabel* fieldLabels_[6];
  PickerBox* device_;
  PickerBox* app_;
  TimeField* time_;
  PickerBox* profilePickers_[3];
  QPushButton* creates_[3];
  QLabel* connectionHeading_;
  RuleList* connectionRules_;
  RuleList* launchRules_;
  RuleList* scheduledRules_;
  HistoryList* history_;
};

}  // namespace tavuno::ui
