#pragma once

#include <string>

#include <QObject>
#include <QTranslator>

#include "base/ports/DefaultsStore.h"
#include "platform/qt/CatalogTranslator.h"

namespace tavuno::ui {

// The settings the screens write themselves: the language and the
// onboarding flag. The settings store has no change notice, so this object
// owns those writes and announces them.
//
// A language change sets the default QLocale, swaps Qt's own translation and
// re-installs the catalogue translator, so every widget gets a LanguageChange
// event and retranslates. Texts already shown in the error line keep the
// language they were made in.
class SettingsBridge : public QObject {
  Q_OBJECT

 public:
  explicit SettingsBridge(DefaultsStore& defaults, QObject* parent = nullptr);
  ~SettingsBridge() override;

  // Installs the translators for the stored language (once, at start).
  void installTranslators();

  // "system", "pt" or "en".
  std::string languagePreference() const;
  void setLanguagePreference(const std::string& preference);

  bool onboardingDone() const;
  void setOnboardingDone(bool done);

  // The main window's size and place as QWidget::saveGeometry() gives them;
  // empty when none was kept.
  QByteArray windowGeometry() const;
  void setWindowGeometry(const QByteArray& geometry);

 signals:
  void languageChanged();
  void onboardingChanged(bool done);

 private:
  void applyLanguage();

  DefaultsStore& defaults_;
  CatalogTranslator catalog_;
  QTranslator qtBase_;
  bool installed_ = false;
};

}  // namespace tavuno::ui
