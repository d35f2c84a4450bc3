// tavuno: the desktop application.
#include <clocale>
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QCommandLineParser>

#include "app/QuitOnSignals.h"
#include "app/StartupReport.h"
#include "app/TavunoApp.h"
#include "base/text/TavunoLanguage.h"
#include "platform/qt/CatalogTranslator.h"
#include "platform/qt/EmbeddedCatalog.h"
#include "ui/views/MainWindow.h"
#include "ui/widgets/Theme.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt sets the C numeric locale from the environment; the core formats and
  // parses numbers in the C locale.
  std::setlocale(LC_NUMERIC, "C");
  // From here on SIGTERM and Ctrl+C quit through the event loop, even when
  // they come while Tavuno is still starting.
  tavuno::QuitOnSignals quitOnSignals;
  QApplication::setApplicationName(QStringLiteral("Tavuno"));
  QApplication::setApplicationVersion(QStringLiteral(TAVUNO_VERSION));
  QApplication::setOrganizationDomain(QStringLiteral("tavuno.com"));
  QApplication::setDesktopFileName(QStringLiteral("com.tavuno.Tavuno"));
  QApplication::setQuitOnLastWindowClosed(false);

  // The command line speaks the system's language (the stored choice is read
  // once the settings are open).
  auto language = std::make_shared<tavuno::LanguageEnvironment>();
  language->preferredLanguages = tavuno::posixPreferredLanguages;
  language->lookup = tavuno::embeddedCatalogLookup;
  tavuno::TavunoLanguage::install(language);
  tavuno::CatalogTranslator translator;
  QCoreApplication::installTranslator(&translator);

  QCommandLineParser parser;
  parser.setApplicationDescription(QCoreApplication::translate(
      "main", "Controle o áudio do computador: dispositivos, volume e o som de cada aplicativo."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption background(
      QStringLiteral("background"),
      QCoreApplication::translate("main",
                                  "Inicia sem mostrar a janela (usado ao entrar na sessão)."));
  const QCommandLineOption demo(
      QStringLiteral("demo"),
      QCoreApplication::translate(
          "main", "Usa dispositivos e aplicativos simulados, sem tocar no áudio do sistema."));
  parser.addOption(background);
  parser.addOption(demo);
  parser.process(application);
  QCoreApplication::removeTranslator(&translator);

  tavuno::ui::applyTheme(application);
  tavuno::AppOptions options;
  options.demo = parser.isSet(demo);
  options.background = parser.isSet(background);
  tavuno::TavunoApp tavunoApp(std::move(options));
  tavunoApp.start();
  std::unique_ptr<tavuno::StartupReport> report;
  if (qEnvironmentVariableIsSet("TAVUNO_REPORT_STARTUP")) {
    // The window as start() left it, without building one that was not.
    QWidget* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<tavuno::ui::MainWindow*>(widget) && widget->isVisible()) window = widget;
    report = std::make_unique<tavuno::StartupReport>(window);
  }
  return QApplication::exec();
}
