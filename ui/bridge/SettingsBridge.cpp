#include "ui/bridge/SettingsBridge.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno::ui {

SettingsBridge::SettingsBridge(DefaultsStore& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {}

SettingsBridge::~SettingsBridge() {
  if (!installed_) return;
  QCoreApplication::removeTranslator(&catalog_);
  QCoreApplication::removeTranslator(&qtBase_);
}

void SettingsBridge::installTranslators() {
  applyLanguage();
}

std::string SettingsBridge::languagePreference() const {
  auto stored = defaults_.string(TavunoLanguage::preferenceKey);
  if (!stored || (*stored != "pt" && *stored != "en")) return "system";
  return *stored;
}

void SettingsBridge::setLanguagePreference(const std::string& preference) {
  if (preference != "system" && preference != "pt" && preference != "en") return;
  if (preference == languagePreference() && defaults_.contains(TavunoLanguage::preferenceKey))
    return;
  defaults_.set(TavunoLanguage::preferenceKey, preference);
  applyLanguage();
  emit languageChanged();
}

QByteArray SettingsBridge::windowGeometry() const {
  const auto bytes = defaults_.data(key::windowGeometry);
  // Qt's own record is a few dozen bytes; anything large is not one.
  if (!bytes || bytes->size() > 4096) return {};
  return QByteArray(reinterpret_cast<const char*>(bytes->data()), qsizetype(bytes->size()));
}

void SettingsBridge::setWindowGeometry(const QByteArray& geometry) {
  if (geometry == windowGeometry()) return;
  defaults_.set(key::windowGeometry, Bytes(geometry.begin(), geometry.end()));
}

bool SettingsBridge::onboardingDone() const {
  return defaults_.boolean(key::onboardingDone).value_or(false);
}

void SettingsBridge::setOnboardingDone(bool done) {
  if (done == onboardingDone()) return;
  defaults_.set(key::onboardingDone, done);
  emit onboardingChanged(done);
}

void SettingsBridge::applyLanguage() {
  const bool portuguese = TavunoLanguage::current() == "pt";
  QLocale::setDefault(QLocale(portuguese ? QStringLiteral("pt_BR") : QStringLiteral("en_US")));
  if (installed_) {
    QCoreApplication::removeTranslator(&qtBase_);
    QCoreApplication::removeTranslator(&catalog_);
  }
  // Qt's own texts (standard buttons, context menus of text fields).
  if (portuguese && qtBase_.load(QStringLiteral("qtbase_pt_BR"),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&qtBase_);
  // Installed last, so it is asked first.
  QCoreApplication::installTranslator(&catalog_);
  installed_ = true;
}

}  // namespace tavuno::ui
