// tavuno-shots: renders every section of the main window and the tray panel
// from the demo scene, in Portuguese and in English, into PNG files.
//   tavuno-shots OUTPUT_DIR
#include <clocale>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include "app/TavunoApp.h"
#include "base/text/TavunoLanguage.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/MainWindow.h"
#include "ui/views/TrayPanel.h"
#include "ui/widgets/Theme.h"

namespace {

// Lets the demo run for a while: timers fire, sessions start, meters move.
void run(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
}

bool save(QWidget& widget, const QString& path) {
  const bool ok = widget.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

const char* sectionFiles[] = {"mixer", "devices", "profiles", "automations", "settings"};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setQuitOnLastWindowClosed(false);
  const QString out =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
  QDir().mkpath(out);
  tavuno::ui::applyTheme(application);
  bool ok = true;
  for (const char* language : {"pt", "en"}) {
    auto settings = std::make_unique<tavuno::InMemoryDefaultsStore>();
    settings->set(tavuno::TavunoLanguage::preferenceKey, std::string(language));
    tavuno::AppOptions options;
    options.demo = true;
    options.settings = std::move(settings);
    options.platform = tavuno::TavunoApp::demoPlatform();
    options.desktop = tavuno::TavunoApp::simulatedDesktop();
    tavuno::TavunoApp app(std::move(options));
    auto& window = *app.window();
    window.resize(1040, 800);
    window.open();
    run(1500);
    for (int i = 0; i < tavuno::sectionCount; ++i) {
      window.selectSection(i);
      run(i == 0 ? 600 : 250);
      ok &= save(window, QStringLiteral("%1/%2-%3.png").arg(out, language, sectionFiles[i]));
    }
    window.selectSection(0);
    window.hide();
    auto& panel = *app.panel();
    panel.popup(QPoint(700, 30));
    run(700);
    ok &= save(panel, QStringLiteral("%1/%2-panel.png").arg(out, language));
    panel.hide();
    // The error line, as the window shows a service error.
    app.service()->setError(tavuno::tr("A saída atual não oferece controle de silêncio."));
    window.open();
    run(300);
    ok &= save(window, QStringLiteral("%1/%2-error.png").arg(out, language));
    app.shutdown();
  }
  return ok ? 0 : 1;
}
