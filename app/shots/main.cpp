// tavuno-shots: renders every section of the main window (each as tall as it
// needs), the first-run guide's steps on one sheet, the tray panel and the error line
// from the demo scene, in Portuguese and in English, into PNG files.
//   tavuno-shots OUTPUT_DIR
#include <algorithm>
#include <clocale>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QThread>

#include "app/TavunoApp.h"
#include "base/text/TavunoLanguage.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/model/SettingsTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/tray/TrayController.h"
#include "ui/tray/TrayPort.h"
#include "ui/views/MainWindow.h"
#include "ui/views/OnboardingView.h"
#include "ui/views/ProfileRow.h"
#include "ui/views/ProfilesView.h"
#include "ui/views/TrayPanel.h"
#include "ui/widgets/ConfirmDeleteButton.h"
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
  // No focus ring: the picture shows the screen, not where the keyboard is.
  if (auto* focused = QApplication::focusWidget()) focused->clearFocus();
  const bool ok = widget.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// The guide's steps side by side, three to a row.
bool saveGuide(tavuno::ui::OnboardingView& guide, const QString& path) {
  constexpr int columns = 3, gap = 28;
  const int steps = tavuno::onboardingStepCount;
  const int rows = (steps + columns - 1) / columns;
  if (auto* focused = QApplication::focusWidget()) focused->clearFocus();
  const QSize card = guide.card()->size();
  QImage sheet(columns * card.width() + (columns + 1) * gap,
               rows * card.height() + (rows + 1) * gap, QImage::Format_RGB32);
  sheet.fill(tavuno::ui::colors::navy);
  QPainter painter(&sheet);
  for (int step = 0; step < steps; ++step) {
    guide.setStep(step);
    run(150);
    const QPoint at(gap + (step % columns) * (card.width() + gap),
                    gap + (step / columns) * (card.height() + gap));
    guide.card()->render(&painter, at);
  }
  painter.end();
  guide.setStep(0);
  const bool ok = sheet.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// A desktop with a tray (the offscreen platform has none), so the pictures
// show what most people see.
class PictureTray : public tavuno::ui::TrayPort {
 public:
  bool available() const override { return true; }
  void setHandlers(Handlers) override {}
  void setIcon(const QIcon&) override {}
  void setToolTip(const QString&) override {}
  void setMenu(QMenu*) override {}
  void show() override {}
};

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
    settings->set("onboardingDone", true);
    tavuno::AppOptions options;
    options.demo = true;
    options.settings = std::move(settings);
    options.platform = tavuno::TavunoApp::demoPlatform();
    options.tray = [] { return std::make_unique<PictureTray>(); };
    options.desktop = tavuno::TavunoApp::simulatedDesktop();
    tavuno::TavunoApp app(std::move(options));
    auto& window = *app.window();
    window.resize(1040, 800);
    window.open();
    run(1500);
    for (int i = 0; i < tavuno::sectionCount; ++i) {
      window.selectSection(i);
      run(i == 0 ? 600 : 250);
      window.resize(1040, std::max(800, window.contentHeight()));
      run(250);
      ok &= save(window, QStringLiteral("%1/%2-%3.png").arg(out, language, sectionFiles[i]));
      window.resize(1040, 800);
    }
    // The question before a profile is deleted.
    window.selectSection(2);
    run(100);
    {
      const auto& profiles = app.service()->state().profiles;
      auto* row = window.profiles()->row(profiles.back().id.text());
      row->deleteButton()->click();
      run(250);
      if (auto* box = row->deleteButton()->confirmation()) {
        ok &= save(*box, QStringLiteral("%1/%2-confirm.png").arg(out, language));
        row->deleteButton()->answer(false);
      }
    }
    // The rename editor, open on a row, with the output muted.
    {
      const auto& profiles = app.service()->state().profiles;
      auto* row = window.profiles()->row(profiles.front().id.text());
      app.service()->setMute(true);
      row->renameButton()->click();
      run(250);
      window.resize(1040, std::max(800, window.contentHeight()));
      run(200);
      ok &= save(window, QStringLiteral("%1/%2-rename.png").arg(out, language));
      row->cancelButton()->click();
      window.resize(1040, 800);
    }
    window.selectSection(0);
    run(300);
    ok &= save(window, QStringLiteral("%1/%2-muted.png").arg(out, language));
    app.service()->setMute(false);
    // The smallest window the layout allows.
    window.resize(tavuno::ui::MainWindow::minimumWidth, tavuno::ui::MainWindow::minimumHeight);
    run(300);
    ok &= save(window, QStringLiteral("%1/%2-minimum.png").arg(out, language));
    window.resize(1040, 800);
    // Automations with every rule gone: the lists' empty states.
    {
      const auto state = app.service()->state();
      for (const auto& rule : state.rules)
        app.service()->deleteRule(rule.id);
      for (const auto& rule : state.launchRules)
        app.service()->deleteLaunchRule(rule.id);
      for (const auto& rule : state.scheduledRules)
        app.service()->deleteScheduledRule(rule.id);
      window.selectSection(3);
      run(300);
      window.resize(1040, std::max(800, window.contentHeight()));
      run(200);
      ok &= save(window, QStringLiteral("%1/%2-automations-empty.png").arg(out, language));
      window.resize(1040, 800);
    }
    window.selectSection(0);
    run(100);
    // The first-run guide: one sheet with its six cards, over the window's
    // colour.
    app.settingsBridge()->setOnboardingDone(false);
    run(200);
    ok &=
        saveGuide(*window.onboarding(), QStringLiteral("%1/%2-onboarding.png").arg(out, language));
    app.settingsBridge()->setOnboardingDone(true);
    window.hide();
    auto& panel = *app.panel();
    panel.popup(QPoint(700, 30));
    run(700);
    ok &= save(panel, QStringLiteral("%1/%2-panel.png").arg(out, language));
    panel.hide();
    // The tray icon's menu.
    if (auto* menu = app.tray() ? app.tray()->menu() : nullptr) {
      menu->popup(QPoint(700, 30));
      run(300);
      ok &= save(*menu, QStringLiteral("%1/%2-traymenu.png").arg(out, language));
      menu->hide();
    }
    // The panel's error row.
    app.service()->setError(tavuno::tr("A saída atual não oferece controle de silêncio."));
    panel.popup(QPoint(700, 30));
    run(500);
    ok &= save(panel, QStringLiteral("%1/%2-panel-error.png").arg(out, language));
    panel.hide();
    app.service()->setError(std::nullopt);
    // The error line, as the window shows a service error.
    app.service()->setError(tavuno::tr("A saída atual não oferece controle de silêncio."));
    window.open();
    run(300);
    ok &= save(window, QStringLiteral("%1/%2-error.png").arg(out, language));
    app.shutdown();
  }
  return ok ? 0 : 1;
}
