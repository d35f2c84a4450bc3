// tavuno: the desktop application, and the command-line client of the
// running one (`tavuno status`, `tavuno volume 40`, ...).
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>

#include "app/QuitOnSignals.h"
#include "app/StartupReport.h"
#include "app/TavunoApp.h"
#include "app/control/ControlClient.h"
#include "app/control/ControlService.h"
#include "base/text/TavunoLanguage.h"
#include "control/CommandLine.h"
#include "platform/qt/EmbeddedCatalog.h"
#include "ui/views/MainWindow.h"
#include "ui/widgets/Theme.h"

namespace {

struct Options {
  QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
  QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
  QCommandLineOption background{QStringLiteral("background")};
  QCommandLineOption demo{QStringLiteral("demo")};
};

QString text(const std::string& value) {
  return QString::fromStdString(value);
}

// Texts from the catalogue: the command line may run without a Qt
// application object, where Qt's translators are not reachable.
void describe(QCommandLineParser& parser, Options& options) {
  parser.setApplicationDescription(text(tavuno::tr(
      "Controle o áudio do computador: dispositivos, volume e o som de cada aplicativo.")));
  options.help.setDescription(text(tavuno::tr("Mostra esta ajuda.")));
  options.version.setDescription(text(tavuno::tr("Mostra a versão.")));
  options.background.setDescription(
      text(tavuno::tr("Inicia sem mostrar a janela (usado ao entrar na sessão).")));
  options.demo.setDescription(
      text(tavuno::tr("Usa dispositivos e aplicativos simulados, sem tocar no áudio do sistema.")));
  parser.addOptions({options.help, options.version, options.background, options.demo});
  parser.addPositionalArgument(QStringLiteral("command"),
                               text(tavuno::tr("Veja os comandos abaixo.")),
                               QStringLiteral("[command]"));
}

// The arguments for Tavuno's own parser: Qt reads its options (-platform
// xcb, -display :1) itself, and does not take every one of them out.
QStringList withoutQtOptions(const QStringList& arguments) {
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); ++i)
    words.push_back(arguments[i].toStdString());
  QStringList kept{arguments.value(0)};
  for (const auto& word : tavuno::control::withoutQtOptions(words))
    kept << QString::fromStdString(word);
  return kept;
}

bool asksForInformation(const std::vector<std::string>& arguments) {
  for (const auto& argument : arguments)
    if (argument == "-h" || argument == "--help" || argument == "-v" || argument == "--version")
      return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("Tavuno"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAVUNO_VERSION));
  QCoreApplication::setOrganizationDomain(QStringLiteral("tavuno.com"));
  // The command line speaks the system's language (the stored choice is read
  // once the settings are open; a failed command prints the app's message,
  // in the app's language).
  auto language = std::make_shared<tavuno::LanguageEnvironment>();
  language->preferredLanguages = tavuno::posixPreferredLanguages;
  language->lookup = tavuno::embeddedCatalogLookup;
  tavuno::TavunoLanguage::install(language);

  const std::vector<std::string> arguments(argv + 1, argv + argc);
  QCommandLineParser parser;
  Options options;
  describe(parser, options);

  // A command, --help and --version need no display.
  if (tavuno::control::namesCommand(arguments) || asksForInformation(arguments)) {
    QCoreApplication core(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (tavuno::control::namesCommand(arguments)) {
      const int status =
          tavuno::ControlClient(QDBusConnection::sessionBus()).run(arguments, stdout, stderr);
      // A command holds nothing to release. Ending here spares the output
      // the warnings Qt 6.4 prints now and then when its D-Bus thread is
      // still finishing while the application object goes.
      std::fflush(stdout);
      std::fflush(stderr);
      std::_Exit(status);
    }
    parser.parse(withoutQtOptions(QCoreApplication::arguments()));
    if (parser.isSet(options.version)) {
      std::printf("tavuno %s\n", TAVUNO_VERSION);
      return 0;
    }
    std::printf("%s\n%s", qPrintable(parser.helpText()), tavuno::control::commandsHelp().c_str());
    return 0;
  }

  QApplication application(argc, argv);
  // Qt sets the C numeric locale from the environment; the core formats and
  // parses numbers in the C locale.
  std::setlocale(LC_NUMERIC, "C");
  // From here on SIGTERM and Ctrl+C quit through the event loop, even when
  // they come while Tavuno is still starting.
  tavuno::QuitOnSignals quitOnSignals;
  QApplication::setDesktopFileName(QStringLiteral("com.tavuno.Tavuno"));
  QApplication::setQuitOnLastWindowClosed(false);
  if (!parser.parse(withoutQtOptions(QCoreApplication::arguments()))) {
    std::fprintf(stderr, "tavuno: %s\n%s\n", qPrintable(parser.errorText()),
                 tavuno::tr("Use tavuno --help para ver os comandos.").c_str());
    return 2;
  }

  // One instance at a time: a second one shows the first one's window.
  tavuno::ControlService control(QDBusConnection::sessionBus());
  const auto claim = control.publish();
  if (claim == tavuno::ControlService::Claim::taken) {
    if (parser.isSet(options.background)) return 0;
    return tavuno::ControlClient(QDBusConnection::sessionBus()).showRunning() ? 0 : 1;
  }
  if (claim == tavuno::ControlService::Claim::noBus)
    std::fprintf(stderr, "tavuno: no session bus; the command line cannot reach this instance\n");

  tavuno::ui::applyThemeLater(application);
  tavuno::AppOptions appOptions;
  appOptions.demo = parser.isSet(options.demo);
  appOptions.background = parser.isSet(options.background);
  tavuno::TavunoApp tavunoApp(std::move(appOptions));
  control.attach(
      tavunoApp.service(), [&tavunoApp] { tavunoApp.openWindow(); },
      [&tavunoApp] { tavunoApp.quit(); });
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
