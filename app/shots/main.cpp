// tavuno-shots: renders every section of the main window (each as tall as it
// needs), the first-run guide's steps on one sheet, the tray panel and the error line
// from the demo scene, in Portuguese and in English, into PNG files.
//   tavuno-shots OUTPUT_DIR
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "app/DemoScene.h"
#include "app/TavunoApp.h"
#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/model/SettingsTexts.h"
#include "ui/model/ViewTexts.h"
#include "ui/tray/TrayController.h"
#include "ui/tray/TrayPort.h"
#include "ui/views/AppRow.h"
#include "ui/views/MainWindow.h"
#include "ui/views/OnboardingView.h"
#include "ui/views/ProfileRow.h"
#include "ui/views/ProfilesView.h"
#include "ui/views/TrayPanel.h"
#include "ui/widgets/Card.h"
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
  explicit PictureTray(const bool& present) : present_(present) {}
  bool available() const override { return present_; }
  void setHandlers(Handlers) override {}
  void setIcon(const QIcon&) override {}
  void setToolTip(const QString&) override {}
  void setMenu(QMenu*) override {}
  void show() override {}

 private:
  const bool& present_;
};

// Every state an app's row can be in, each with its caption and buttons, on
// one card as wide as the mixer's.
bool saveAppStates(tavuno::TavunoApp& app, const QString& path) {
  using tavuno::ServiceState;
  const ServiceState now = app.service()->state();
  if (now.activeApps.empty()) return false;
  const tavuno::ActiveApp model = now.activeApps.front();
  QWidget sheet;
  sheet.setObjectName("shotSheet");
  sheet.setStyleSheet(
      QStringLiteral("QWidget#shotSheet { background: %1; }").arg(tavuno::ui::colors::navy.name()));
  auto* outer = new QVBoxLayout(&sheet);
  outer->setContentsMargins(28, 28, 28, 28);
  auto* card = new tavuno::ui::Card(&sheet);
  outer->addWidget(card);
  // Each row: a name, then how the state differs from the app's own.
  const std::pair<const char*, std::function<void(ServiceState&, tavuno::ActiveApp&)>> states[] = {
      {"Controlled", [](ServiceState&, tavuno::ActiveApp&) {}},
      {"Starting",
       [](ServiceState& s, tavuno::ActiveApp& a) {
         s.controlledApps.erase(a.id);
         s.startingApps.insert(a.id);
       }},
      {"Stalled",
       [](ServiceState& s, tavuno::ActiveApp& a) {
         s.controlledApps.erase(a.id);
         s.stalledStarts.insert(a.id);
       }},
      {"Waiting", [](ServiceState& s, tavuno::ActiveApp& a) { s.controlledApps.erase(a.id); }},
      {"Offered",
       [](ServiceState& s, tavuno::ActiveApp& a) {
         s.controlledApps.erase(a.id);
         s.desiredApps.erase(a.id);
         s.controlPreferences.automatic = false;
       }},
      {"Manual",
       [](ServiceState& s, tavuno::ActiveApp&) { s.controlPreferences.automatic = false; }},
      {"Passthrough",
       [](ServiceState& s, tavuno::ActiveApp& a) { s.passthroughApps.insert(a.id); }},
      {"In call", [](ServiceState&, tavuno::ActiveApp& a) { a.inputActive = true; }},
      {"Quarantined",
       [](ServiceState& s, tavuno::ActiveApp& a) {
         s.controlledApps.erase(a.id);
         s.quarantinedApps.insert(a.id);
       }},
  };
  for (const auto& [label, change] : states) {
    ServiceState state = now;
    tavuno::ActiveApp shown = model;
    state.desiredApps.insert(shown.id);
    state.controlPreferences.automatic = true;
    state.controlledApps.insert(shown.id);
    change(state, shown);
    auto* row = new tavuno::ui::AppRow(*app.bridge(), false, card);
    row->setObjectName(QString::fromLatin1(label));
    row->render(shown, state);
    row->setLevel(state.controlledApps.count(shown.id) ? 0.45 : 0.0);
    card->body()->addWidget(row);
  }
  sheet.resize(780, sheet.sizeHint().height());
  sheet.show();
  run(300);
  if (auto* focused = QApplication::focusWidget()) focused->clearFocus();
  const bool ok = sheet.grab().save(path);
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
    settings->set("onboardingDone", true);
    // Both global shortcuts on, each on its own letter.
    settings->set(tavuno::key::globalShortcutEnabled, true);
    settings->set(tavuno::key::inputMuteShortcutEnabled, true);
    tavuno::AppOptions options;
    options.demo = true;
    options.settings = std::move(settings);
    options.platform = tavuno::TavunoApp::demoPlatform();
    static bool trayPresent = true;
    trayPresent = true;
    options.tray = [] { return std::make_unique<PictureTray>(trayPresent); };
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
    // The mixer with the output and the microphone muted.
    window.selectSection(0);
    app.service()->setInputMute(true);
    run(300);
    ok &= save(window, QStringLiteral("%1/%2-muted.png").arg(out, language));
    app.service()->setMute(false);
    app.service()->setInputMute(false);
    // An output with neither volume nor mute (a digital output the server
    // passes through) and a microphone the same (a webcam's):
    // "Indisponível", and the mute buttons say why they are off.
    {
      auto& scene = *static_cast<tavuno::DemoScene*>(app.platformOwner());
      auto& hal = scene.hal();
      const auto speakers = hal.defaultOutput();
      const auto mic = hal.defaultInput();
      const auto digital = scene.addDevice({.uid = "demo.spdif",
                                            .name = "Digital Output (S/PDIF)",
                                            .transport = tavuno::transport::builtIn,
                                            .outputStreams = 1});
      const auto webcam = scene.addDevice({.uid = "demo.webcam",
                                           .name = "HD Pro Webcam C920 Analog Stereo",
                                           .transport = tavuno::transport::usb,
                                           .inputStreams = 1});
      scene.inputLevels().setLevel(webcam, 0.08f);
      hal.setDefaultOutput(digital);
      hal.setDefaultInput(webcam);
      run(400);
      ok &= save(window, QStringLiteral("%1/%2-unavailable.png").arg(out, language));
      hal.setDefaultOutput(speakers);
      hal.setDefaultInput(mic);
      hal.removeDevice(digital);
      hal.removeDevice(webcam);
      run(300);
    }
    // A Bluetooth headset's microphone as the input: "Testar" instead of a
    // live meter, and why.
    {
      auto& hal = static_cast<tavuno::DemoScene*>(app.platformOwner())->hal();
      const auto mic = hal.defaultInput();
      for (const auto& device : app.service()->state().devices)
        if (device.input && device.uid == "demo.headset") hal.setDefaultInput(device.id);
      run(400);
      ok &= save(window, QStringLiteral("%1/%2-bluetooth-mic.png").arg(out, language));
      hal.setDefaultInput(mic);
      run(300);
    }
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
    // Its closing card on a desktop with no tray.
    {
      auto& guide = *window.onboarding();
      trayPresent = false;
      guide.setStep(tavuno::onboardingStepCount - 1);
      run(200);
      if (auto* focused = QApplication::focusWidget()) focused->clearFocus();
      ok &= guide.card()->grab().save(
          QStringLiteral("%1/%2-onboarding-notray.png").arg(out, language));
      guide.setStep(0);
      trayPresent = true;
    }
    app.settingsBridge()->setOnboardingDone(true);
    // Each state of an app's row.
    ok &= saveAppStates(app, QStringLiteral("%1/%2-app-states.png").arg(out, language));
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
    app.service()->setError(std::nullopt);
    // Last, as the apps do not come back: the mixer with no app playing,
    // the list's empty state.
    {
      auto& hal = static_cast<tavuno::DemoScene*>(app.platformOwner())->hal();
      std::vector<tavuno::AudioObjectID> processes;
      for (const auto& playing : app.service()->state().activeApps)
        processes.insert(processes.end(), playing.processes.begin(), playing.processes.end());
      for (auto process : processes)
        hal.removeProcess(process);
      window.selectSection(0);
      run(500);
      ok &= save(window, QStringLiteral("%1/%2-mixer-empty.png").arg(out, language));
    }
    app.shutdown();
  }
  return ok ? 0 : 1;
}
