#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "platform/sim/FakeGlobalShortcut.h"
#include "platform/sim/FakeLoginItem.h"
#include "ui/AppFixture.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/views/MainWindow.h"
#include "ui/views/OnboardingView.h"
#include "ui/views/SettingsView.h"
#include "ui/views/Sidebar.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Switch.h"

namespace tavuno {
namespace {

constexpr ShortcutId output = ShortcutId::muteOutput;
constexpr ShortcutId mic = ShortcutId::muteInput;
using ui::PickerBox;

class SettingsScreen : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    app->window()->open();
    app->window()->selectSection(4);
    deliver();  // lays the section out
  }
  ui::SettingsView& settings() { return *app->window()->settings(); }
  FakeLoginItem& loginItem() { return *static_cast<FakeLoginItem*>(app->loginItemBackend()); }
  FakeGlobalShortcut& hotKeys() {
    return *static_cast<FakeGlobalShortcut*>(app->shortcutBackend());
  }
};

TEST_F(SettingsScreen, SwitchingTheLanguageRetranslatesTheOpenScreenWithQtsOwnTexts) {
  EXPECT_EQ(settings().startAtLogin()->text(), "Iniciar ao entrar na sessão");
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), "&Desfazer");
  emit settings().languagePicker()->activated(2);  // English
  deliver();
  EXPECT_EQ(app->window()->title()->text(), "Settings");
  EXPECT_EQ(app->window()->sidebar()->button(2)->accessibleName(), "Profiles");
  EXPECT_EQ(settings().startAtLogin()->text(), "Start at login");
  EXPECT_EQ(settings().shortcutCaption(output)->text(),
            "While Tavuno is focused, Ctrl+Shift+M mutes or unmutes the output.");
  EXPECT_EQ(settings().languagePicker()->currentText(), "English");
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), "&Undo") << "Qt's own texts too";
  EXPECT_EQ(app->settings().string("languagePreference"), "en");
}

TEST_F(SettingsScreen, SwitchesReachTheirControllersAndShowWhatTheyReport) {
  QTest::mouseClick(settings().automaticControl(), Qt::LeftButton);
  EXPECT_FALSE(service().state().controlPreferences.automatic);
  deliver();
  EXPECT_EQ(settings().automaticCaption()->text(), "Ative o controle de cada aplicativo no Mixer.");

  // Start at login: the switch shows the system's state, read again on show.
  loginItem().statusAfterRegister = LoginItemStatus::notFound;
  QTest::mouseClick(settings().startAtLogin(), Qt::LeftButton);
  EXPECT_EQ(loginItem().registerCalls, 1);
  EXPECT_FALSE(settings().startAtLogin()->isChecked());
  EXPECT_EQ(settings().loginMessage()->text(),
            "O sistema ainda não reconhece a entrada de início automático. Ative a opção para "
            "tentar criá-la.");
  loginItem().setStatus(LoginItemStatus::enabled);
  app->window()->selectSection(0);
  app->window()->selectSection(4);
  EXPECT_TRUE(settings().startAtLogin()->isChecked());
  EXPECT_TRUE(settings().loginMessage()->isHidden());

  // Notifications wait for the desktop's answer (the demo's says yes).
  QTest::mouseClick(settings().notifications(), Qt::LeftButton);
  ASSERT_TRUE(test::processEventsUntil([&] { return service().state().notificationsEnabled; }));
  deliver();
  EXPECT_TRUE(settings().notifications()->isChecked());

  // The shortcut, and a key another program holds.
  QTest::mouseClick(settings().shortcut(output), Qt::LeftButton);
  EXPECT_EQ(hotKeys().registeredKey(output), ShortcutKey::m);
  EXPECT_EQ(settings().shortcutKey(output)->currentText(), "Ctrl+Alt+Super+M");
  hotKeys().takeKey(ShortcutKey::v, 7);
  emit settings().shortcutKey(output)->activated(1);
  deliver();
  EXPECT_EQ(app->shortcut()->key(output), ShortcutKey::m);
  EXPECT_EQ(settings().shortcutKey(output)->currentText(), "Ctrl+Alt+Super+M")
      << "the old key stays";
  EXPECT_FALSE(settings().shortcutMessage(output)->isHidden());
  emit settings().shortcutKey(output)->activated(2);
  deliver();
  EXPECT_EQ(hotKeys().registeredKey(output), ShortcutKey::s);
  EXPECT_TRUE(settings().shortcutMessage(output)->isHidden());
}

TEST_F(SettingsScreen, TheMicrophonesShortcutBelowTheOutputsTogglesTheInputMute) {
  auto top = [&](QWidget* widget) { return widget->mapTo(&settings(), QPoint()).y(); };
  EXPECT_GT(top(settings().shortcut(mic)), top(settings().shortcutKey(output)))
      << "below the output's key";
  EXPECT_EQ(settings().shortcut(mic)->text(), "Atalho global para silenciar o microfone");
  EXPECT_FALSE(settings().shortcut(mic)->isChecked()) << "off until switched on";
  EXPECT_EQ(settings().shortcutKey(mic)->currentText(), "Ctrl+Alt+Super+V");
  EXPECT_TRUE(settings().shortcutMessage(mic)->isHidden());

  QTest::mouseClick(settings().shortcut(output), Qt::LeftButton);
  QTest::mouseClick(settings().shortcut(mic), Qt::LeftButton);
  deliver();
  EXPECT_TRUE(settings().shortcut(mic)->isChecked());
  EXPECT_EQ(hotKeys().registeredKey(mic), ShortcutKey::v);
  EXPECT_EQ(hotKeys().registeredKey(output), ShortcutKey::m) << "both at once";
  const bool before = service().state().inputMuted;
  EXPECT_EQ(hotKeys().pressRegistered(mic), HotKeyDisposition::handled);
  ASSERT_TRUE(test::processEventsUntil([&] { return service().state().inputMuted != before; }));

  // The output's letter, chosen with the keyboard: refused, with the reason.
  PickerBox* key = settings().shortcutKey(mic);
  key->setFocus();
  QTest::keyClick(key, Qt::Key_Up);
  deliver();
  EXPECT_EQ(key->currentText(), "Ctrl+Alt+Super+V");
  EXPECT_EQ(settings().shortcutMessage(mic)->text(),
            "Essa combinação já é usada pelo atalho para silenciar a saída.");
  EXPECT_FALSE(settings().shortcutMessage(mic)->isHidden());
  EXPECT_TRUE(settings().shortcutMessage(output)->isHidden());
  QTest::keyClick(key, Qt::Key_Down);
  deliver();
  EXPECT_EQ(key->currentText(), "Ctrl+Alt+Super+S");
  EXPECT_EQ(hotKeys().registeredKey(mic), ShortcutKey::s);
  EXPECT_TRUE(settings().shortcutMessage(mic)->isHidden());

  restart();
  app->window()->open();
  app->window()->selectSection(4);
  deliver();
  EXPECT_TRUE(settings().shortcut(mic)->isChecked()) << "kept for the next start";
  EXPECT_EQ(settings().shortcutKey(mic)->currentText(), "Ctrl+Alt+Super+S");
  EXPECT_EQ(hotKeys().registeredKey(mic), ShortcutKey::s);

  emit settings().languagePicker()->activated(2);  // English
  deliver();
  EXPECT_EQ(settings().shortcut(mic)->text(), "Global shortcut to mute the microphone");
  EXPECT_EQ(settings().shortcutKey(mic)->accessibleName(), "Global combination for the microphone");
}

class Onboarding : public test::AppFixture {
 protected:
  Onboarding() { onboardingDone = false; }
};

TEST_F(Onboarding, SixStepsWithTheKeyboardInsideAndBeginStoresItsDone) {
  app->window()->open();
  QApplication::setActiveWindow(app->window());
  auto* guide = app->window()->onboarding();
  ASSERT_TRUE(guide->isVisible()) << "first start";
  EXPECT_TRUE(guide->backButton()->isHidden()) << "no way back from the first step";
  EXPECT_EQ(guide->counter()->text(), "TAVUNO  /  1 DE 6");
  EXPECT_EQ(guide->forwardButton()->text(), "Continuar");

  // Tab never leaves the guide.
  for (int i = 0; i < 12; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(guide->isAncestorOf(QApplication::focusWidget()))
        << "focus went to " << QApplication::focusWidget()->metaObject()->className();
  }

  for (int step = 1; step < 6; ++step) {
    QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
    EXPECT_FALSE(guide->backButton()->isHidden());
    EXPECT_EQ(guide->forwardButton()->text(), step == 5 ? "Começar" : "Continuar") << step;
  }
  EXPECT_EQ(guide->title()->text(), "Tudo pronto");
  QTest::mouseClick(guide->backButton(), Qt::LeftButton);
  EXPECT_EQ(guide->step(), 4);
  QTest::mouseClick(guide->automatic(), Qt::LeftButton);
  EXPECT_TRUE(service().state().automatic) << "the guide's controls act at once";
  QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
  EXPECT_FALSE(app->settings().boolean("onboardingDone").value_or(false));
  QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
  EXPECT_TRUE(app->settings().boolean("onboardingDone").value_or(false));
  EXPECT_FALSE(guide->isVisible());
  EXPECT_TRUE(app->window()->sidebar()->isEnabled());

  app->settingsBridge()->setLanguagePreference("en");
  deliver();
  EXPECT_FALSE(guide->isVisible()) << "never again, whatever the language";
}

}  // namespace
}  // namespace tavuno
