// tavuno: the desktop application.
#include <clocale>
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>

#include "app/TavunoApp.h"
#include "base/text/TavunoLanguage.h"
#include "platform/qt/CatalogTranslator.h"
#include "platform/qt/EmbeddedCatalog.h"
#include "ui/widgets/Theme.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt sets the C numeric locale from the environment; the core formats and
  // parses numbers in the C locale.
  std::setlocale(LC_NUMERIC, "C");
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
  return QApplication::exec();
}
